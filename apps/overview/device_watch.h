// The serial devices there are, listed anew when devices come and go. The system's device folders
// and both folders of comN links are watched; a burst of changes makes one listing, made on a
// thread of its own, since finding who holds a device looks through every process.
#pragma once

#include "link/port_names.h"

#include <QFileSystemWatcher>
#include <QThread>
#include <QTimer>

#include <memory>
#include <vector>

namespace overview {

class DeviceWatch : public QObject
{
    Q_OBJECT

public:
    // Changes this close together make one listing.
    static constexpr int kSettleMs = 300;

    // Lists the devices soon, in the background.
    explicit DeviceWatch(const QString& programDir, QObject* parent = nullptr);
    ~DeviceWatch() override; // waits for a listing under way

    const std::vector<board::SerialDevice>& devices() const { return m_devices; }
    // Lists anew soon: who holds a device changes with no file changing.
    void refresh() { m_settle.start(); }

signals:
    void changed();

private:
    void list();

    const QString m_programDir;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    std::unique_ptr<QThread> m_thread;        // the listing under way
    std::vector<board::SerialDevice> m_found; // written by that thread until it ends
    std::vector<board::SerialDevice> m_devices;
    bool m_again = false; // a change came during the listing
};

} // namespace overview
