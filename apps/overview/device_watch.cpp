#include "device_watch.h"

#include <QDir>

namespace overview {

DeviceWatch::DeviceWatch(const QString& programDir, QObject* parent)
    : QObject(parent), m_programDir(programDir)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &DeviceWatch::list);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    // The first listing looks through every process for holders: it waits until the window is
    // up rather than take a core from its start.
    m_settle.start();
}

DeviceWatch::~DeviceWatch()
{
    if (m_thread)
        m_thread->wait();
}

void DeviceWatch::list()
{
    // Folders that appear later (/dev/serial with the first USB adapter, the user's folder) are
    // watched from the listing after they do.
    for (const QString& folder :
         {QStringLiteral("/dev"), QStringLiteral("/dev/serial"),
          QStringLiteral("/dev/serial/by-id"), m_programDir, board::UserFolder()})
        if (QFileInfo(folder).isDir() && !m_watcher.directories().contains(folder))
            m_watcher.addPath(folder);
    if (m_thread) {
        m_again = true;
        return;
    }
    m_thread.reset(QThread::create([this] { m_found = board::SerialDevices(m_programDir); }));
    connect(m_thread.get(), &QThread::finished, this, [this] {
        m_thread->wait();
        m_thread.reset();
        m_devices = std::move(m_found);
        emit changed();
        if (std::exchange(m_again, false))
            list();
    });
    m_thread->start();
}

} // namespace overview
