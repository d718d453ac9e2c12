// Port numbers on Linux: number N names a device the way the original platform's COMN did.
#pragma once

#include <QString>
#include <QStringList>

namespace board {

struct PortDevice
{
    QString path;      // the device that port N opens; empty when none exists
    QStringList tried; // every candidate looked at, in order
};

// The first that exists of <programDir>/comN, /dev/ttyUSB<N-1>, /dev/ttyACM<N-1>, /dev/ttyS<N-1>.
PortDevice FindPortDevice(int number, const QString& programDir);

// One line for the port box's tooltip: which device the number opens, or that it opens none.
QString DescribePort(int number, const QString& programDir);

} // namespace board
