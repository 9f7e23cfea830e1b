#pragma once

#include "session/edits/PrivateScratchFolders.h"

#include <QDir>
#include <QList>
#include <QObject>
#include <QUrl>

#include <cstdint>
#include <vector>

class DialogServices;
class QWidget;

// The scratch folders entries are extracted into when dragged out of the list or opened in
// another program, removed when the dialog closes: the drop target or the program may still be
// reading until then.
class DragOutFolders : public QObject, public session::PrivateScratchFolders {
    Q_OBJECT

public:
    static int sweepStale(const QString& parent = QDir::tempPath());

    // Failures are shown through services over dialog, whose closing removes the folders.
    DragOutFolders(QWidget* dialog, DialogServices& services);
    ~DragOutFolders() override;

    // Extracts the entries whose records start at positions (in list order) into a new folder
    // and returns the top level of each entry once, a folder standing for the entries below it;
    // empty after showing the error when extraction fails.
    QList<QUrl> extract(const archive::ArchiveReader& reader,
                        const std::vector<std::uint32_t>& positions);
    using session::PrivateScratchFolders::holds;
    bool holds(const QString& path) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_dialog;
    DialogServices& m_services;
};
