#pragma once

#include "session/edits/FileWatch.h"

#include <QFileSystemWatcher>
#include <QObject>

// The session's file watch and timers over Qt's, on the dialog's thread.
class QtFileWatch : public QObject, public session::FileWatch, public session::Timers {
public:
    explicit QtFileWatch(QObject* parent);

    void setListener(std::function<void(const std::string& path)> onChange) override;
    void add(const std::string& path) override;
    void remove(const std::string& path) override;
    bool watches(const std::string& path) const override;
    std::unique_ptr<session::Timer> makeTimer(int ms, std::function<void()> onTimeout) override;

private:
    void changed(const QString& path);

    QFileSystemWatcher m_watcher;
    std::function<void(const std::string& path)> m_onChange;
};
