#pragma once

#include <QString>

class DialogServices;
class QWidget;

// Asks for a folder: a prompt and a starting folder in, a full path or a cancel out.
class CFolderPicker {
public:
    CFolderPicker() = default;
    virtual ~CFolderPicker() = default;

    void setServices(DialogServices* services, QWidget* owner);

    // TRUE when an existing folder was chosen; m_strPath then holds its full path, without a
    // trailing '/' except for the root "/".
    bool Browse();

    QString m_strPath;
    QString m_strTitle;
    // Where the next Browse starts (Qt's own start when empty); a choice moves it there.
    QString m_strStartFolder;

private:
    DialogServices* m_pServices = nullptr;
    QWidget* m_pOwner = nullptr;
};
