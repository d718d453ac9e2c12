// Port numbers on Linux: number N names a device, as COMN does on Windows.
#pragma once

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <vector>

namespace board {

struct PortDevice
{
    QString path;      // the name that port N opens; empty when none exists
    QString device;    // the device that name leads to, links resolved; empty when it leads nowhere
    QStringList tried; // every candidate looked at, in order
    // The name, and for a link what it leads to, for messages; the places looked at when none.
    QString describe() const;
};

// The user's own folder, $XDG_DATA_HOME/kestrel: their name.txt, and their comN links for
// programs installed where they cannot write.
QString UserFolder();

// Write permission as a read-only attribute sees it: the mode bits count
// even for root, whom access() lets write anything.
bool CanWrite(const QFileInfo& info);
// The program's own folder may hold its files (port links, name.txt): it can be written, and it is
// no system package's folder (under /usr outside /usr/local), which not even root may change.
bool OwnFolderWritable(const QString& programDir);

// The first that exists of <programDir>/comN, <UserFolder>/comN, /dev/ttyUSB<N-1>,
// /dev/ttyACM<N-1>, /dev/ttyS<N-1>. A comN link counts even when it leads nowhere: it is the
// user's choice for that number.
PortDevice FindPortDevice(int number, const QString& programDir);

// Who holds the device, as "name（进程 pid）", or empty when none is seen: the live program named
// by the lock file a serial program leaves (LCK..name in the system's lock folders), or a process
// of ours with the device among its open files.
QString LockHolder(const QString& device);
QString ProcessHolding(const QString& device);

// A serial device as a person recognises it.
struct SerialDevice
{
    QString device;    // the device node, links resolved
    QString byId;      // its name in /dev/serial/by-id, if it has one
    int port = -1;     // the port number that opens it, if one does (0..255)
    QStringList links; // the comN links beside the program and in the user's folder leading to it
    QString holder;    // who holds it now, as LockHolder or ProcessHolding says; empty if nobody
};

// Every serial device there is, by device name: the system's serial ports, the devices in
// /dev/serial/by-id and those a comN link leads to.
std::vector<SerialDevice> SerialDevices(const QString& programDir);

// "没有对应的设备", for messages.
QString NoDevice();

// One line for the port box's tooltip: which device the number opens, or that it opens none.
QString DescribePort(int number, const QString& programDir);

} // namespace board
