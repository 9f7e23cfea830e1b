#include "ui/QtFileWatch.h"

#include <QFile>
#include <QTimer>

namespace {

QString fromHost(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

class QtTimer : public session::Timer {
public:
    QtTimer(int ms, std::function<void()> onTimeout) : m_timer(new QTimer)
    {
        m_timer->setSingleShot(true);
        m_timer->setInterval(ms);
        QObject::connect(m_timer, &QTimer::timeout, std::move(onTimeout));
    }
    // The timer whose timeout is running may be the one going: Qt deletes it once back.
    ~QtTimer() override
    {
        m_timer->stop();
        m_timer->deleteLater();
    }
    void start() override { m_timer->start(); }
    void stop() override { m_timer->stop(); }

private:
    QTimer* m_timer;
};

} // namespace

QtFileWatch::QtFileWatch(QObject* parent) : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this,
            [this](const QString& path) { changed(path); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            [this](const QString& path) { changed(path); });
}

void QtFileWatch::setListener(std::function<void(const std::string& path)> onChange)
{
    m_onChange = std::move(onChange);
}

void QtFileWatch::changed(const QString& path)
{
    if (m_onChange)
        m_onChange(QFile::encodeName(path).toStdString());
}

void QtFileWatch::add(const std::string& path)
{
    m_watcher.addPath(fromHost(path));
}

void QtFileWatch::remove(const std::string& path)
{
    m_watcher.removePath(fromHost(path));
}

bool QtFileWatch::watches(const std::string& path) const
{
    const QString watched = fromHost(path);
    return m_watcher.files().contains(watched) || m_watcher.directories().contains(watched);
}

std::unique_ptr<session::Timer> QtFileWatch::makeTimer(int ms, std::function<void()> onTimeout)
{
    return std::make_unique<QtTimer>(ms, std::move(onTimeout));
}
