// The program-under-test's end of the line: opens <dir>/comN as a raw serial port, as Kestrel
// would, and reads with deadlines instead of sleeps.
#pragma once

#include "link/frame.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

using namespace std::chrono_literals;

QByteArray Bytes(const board::Frame& frame);

class SerialEnd
{
public:
    explicit SerialEnd(const QString& path); // isOpen() tells whether it worked
    ~SerialEnd();
    SerialEnd(const SerialEnd&) = delete;
    SerialEnd& operator=(const SerialEnd&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool write(const QByteArray& bytes);
    bool write(const board::Frame& frame) { return write(Bytes(frame)); }

    // Reads until `done` holds for everything read so far, or the deadline passes; gives what was
    // read. Bytes past the point where `done` first held stay buffered for the next call.
    QByteArray readUntil(const std::function<bool(const QByteArray&)>& done,
                         std::chrono::milliseconds deadline = 3s);
    QByteArray readCount(int count, std::chrono::milliseconds deadline = 3s);
    // Reads up to and including the first occurrence of `frame`.
    QByteArray readThrough(const board::Frame& frame, std::chrono::milliseconds deadline = 3s);

    // True once the far end has gone (hang-up or end of file) within the deadline.
    bool waitForHangup(std::chrono::milliseconds deadline = 3s);

private:
    bool fill(std::chrono::milliseconds wait); // false on hang-up
    int m_fd = -1;
    QByteArray m_buffered;
};
