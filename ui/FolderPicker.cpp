#include "ui/FolderPicker.h"

#include "ui/DialogServices.h"

#include <QDir>
#include <QFileInfo>

void CFolderPicker::setServices(DialogServices* services, QWidget* owner)
{
    m_pServices = services;
    m_pOwner = owner;
}

bool CFolderPicker::Browse()
{
    if (!m_pServices)
        return false;
    const std::optional<QString> chosen =
        m_pServices->chooseFolder(m_pOwner, m_strTitle, m_strStartFolder);
    if (!chosen || chosen->isEmpty())
        return false;
    const QFileInfo info(*chosen);
    if (!info.isDir())
        return false;
    // cleanPath drops a trailing '/' but keeps the root as "/".
    m_strPath = QDir::cleanPath(info.absoluteFilePath());
    m_strStartFolder = m_strPath;
    return true;
}
