#include "serial_control.h"

#include "port_names.h"
#include "text.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QSerialPortInfo>

#include <cerrno>
#include <unistd.h>

namespace board {
namespace {

// Qt reports a port held by another program exactly like a missing access right. The lock is
// taken before the device is opened, and a program without one can hold it for itself.
QString HeldOrDenied(const QString& device, const QString& detail)
{
    QString holder = LockHolder(device);
    if (holder.isEmpty() && ::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 &&
        errno == EACCES)
        return Tr("没有访问权限。\n请把当前用户加入 dialout 组并重新登录。",
                  "permission denied.\nAdd your user to the group dialout and log in again.");
    if (holder.isEmpty())
        holder = ProcessHolding(device);
    if (holder.isEmpty())
        return Tr("端口正被其他程序占用（%1）。", "another program holds the port (%1).")
            .arg(detail);
    return Tr("端口正被 %1占用，请先关闭它。", "the port is held by %1; close it first.")
        .arg(holder);
}

QString DescribeOpenError(QSerialPort::SerialPortError error, const QString& detail,
                          const QString& device)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::ResourceError: // a pseudo-terminal whose other end has gone
        return NoDevice() + Tr("。", ".");
    case QSerialPort::PermissionError:
        return HeldOrDenied(device, detail);
    case QSerialPort::OpenError:
        return Tr("端口已经打开。", "the port is open already.");
    default:
        return Tr("无法打开设备（%1）。", "the device cannot be opened (%1).").arg(detail);
    }
}

// Why the port went away. A device that is no longer there was unplugged, whatever the system
// says of it ("Inappropriate ioctl for device", "Unknown error" only mislead).
QString DescribeLoss(QSerialPort::SerialPortError error, const QString& detail, bool gone)
{
    if (gone || error == QSerialPort::ResourceError)
        return Tr("设备已拔出或不再可用", "the device was unplugged or is no longer there");
    if (error == QSerialPort::ReadError)
        return Tr("读取串口失败，系统提示：%1", "reading failed: %1").arg(detail);
    if (error == QSerialPort::WriteError)
        return Tr("写入串口失败，系统提示：%1", "writing failed: %1").arg(detail);
    return Tr("串口出错，系统提示：%1", "port error: %1").arg(detail);
}

} // namespace

QString OpenFailure(const OpenResult& result)
{
    if (result.port < 0)
        return Tr("设备 %1 无法打开。\n原因：%2", "Device %1 cannot be opened.\nReason: %2")
            .arg(result.device, result.reason);
    return Tr("串口 %1 无法打开。\n设备：%2\n原因：%3",
              "Port %1 cannot be opened.\nDevice: %2\nReason: %3")
        .arg(result.port)
        .arg(result.device, result.reason);
}

QString Where(const OpenResult& opened)
{
    if (opened.port < 0)
        return opened.path;
    return Tr("串口 %1（%2）", "port %1 (%2)").arg(opened.port).arg(opened.path);
}

QString LostText(const OpenResult& opened, const QString& reason)
{
    return Tr("%1 断开了（%2）。", "%1 went away (%2).").arg(Where(opened), reason);
}

SerialControl::SerialControl(QString programDir, QObject* parent)
    : QObject(parent), m_programDir(std::move(programDir))
{
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(kReceiveBufferSize);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialControl::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialControl::onError);
}

OpenResult SerialControl::open()
{
    if (!m_devicePath.isEmpty())
        return open(-1,
                    {m_devicePath, QFileInfo(m_devicePath).canonicalFilePath(), {m_devicePath}});
    return open(m_commPort, FindPortDevice(m_commPort, m_programDir));
}

OpenResult SerialControl::reopen()
{
    const OpenResult last = m_opened;
    return open(last.port, {last.path, QFileInfo(last.path).canonicalFilePath(), {last.path}});
}

OpenResult SerialControl::open(int port, const PortDevice& device)
{
    OpenResult result;
    result.port = port;
    result.device = device.describe();
    if (device.device.isEmpty()) {
        result.reason = DescribeOpenError(QSerialPort::DeviceNotFoundError, {}, {});
        return result;
    }
    result.path = device.path;
    result.node = device.device;
    m_port.setPortName(device.device);
    m_closing = false;
    m_event = CommEvent::None;
    if (!m_port.open(QIODevice::ReadWrite)) {
        result.reason = DescribeOpenError(m_port.error(), m_port.errorString(), device.device);
        return result;
    }
    // Qt does not flush on open: whatever the line held before belongs to nobody.
    m_port.clear(QSerialPort::Input);
    result.ok = true;
    m_opened = result;
    return result;
}

void SerialControl::close()
{
    if (m_port.isOpen())
        m_port.close();
}

void SerialControl::clearInput()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Input);
}

bool SerialControl::output(const Frame& frame)
{
    if (!m_port.isOpen() || m_closing)
        return false;
    // A line that drains nothing must not grow memory for days: the transmit buffer is bounded.
    if (m_port.bytesToWrite() + static_cast<qint64>(frame.size()) > kTransmitBufferSize)
        return false;
    const auto* bytes = reinterpret_cast<const char*>(frame.data());
    return m_port.write(bytes, static_cast<qint64>(frame.size())) ==
           static_cast<qint64>(frame.size());
}

std::optional<std::uint8_t> SerialControl::input()
{
    char byte = 0;
    if (!m_port.isOpen() || !m_port.getChar(&byte))
        return std::nullopt;
    return static_cast<std::uint8_t>(byte);
}

void SerialControl::onReadyRead()
{
    if (m_closing || m_threshold <= 0 || m_port.bytesAvailable() < m_threshold)
        return;
    m_event = CommEvent::Receive;
    emit OnComm();
}

void SerialControl::onError(QSerialPort::SerialPortError error)
{
    // UnsupportedOperationError: DTR/RTS calls on a pseudo-terminal.
    if (error == QSerialPort::NoError || error == QSerialPort::UnsupportedOperationError ||
        error == QSerialPort::TimeoutError)
        return;
    // Qt repeats the error as long as the port stays open, and the port must not be closed from
    // inside its own notification: close once, from the event loop, then tell the window.
    if (!m_port.isOpen() || m_closing)
        return;
    m_closing = true;
    const QString reason = DescribeLoss(
        error, m_port.errorString(), !QFileInfo::exists(QSerialPortInfo(m_port).systemLocation()));
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            if (!m_closing)
                return; // closed and reopened in the meantime
            m_closing = false;
            if (!m_port.isOpen())
                return;
            m_port.close();
            emit portLost(reason);
        },
        Qt::QueuedConnection);
}

} // namespace board
