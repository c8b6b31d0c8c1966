#include "platform/QtSerialPortAdapter.h"

#include <QFileInfo>

namespace kvam {

QtSerialPortAdapter::QtSerialPortAdapter(QObject* parent) : SerialPort(parent)
{
    m_clock.start();
    m_txEmptyTimer.setSingleShot(true);
    m_txEmptyTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_txEmptyTimer, &QTimer::timeout, this, &SerialPort::txEmpty);
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        const QByteArray bytes = m_port.readAll();
        if (!bytes.isEmpty())
            emit received(bytes);
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPortAdapter::onError);
}

QtSerialPortAdapter::~QtSerialPortAdapter()
{
    m_port.disconnect(this);
    m_port.close();
}

QString QtSerialPortAdapter::openErrorText(const QString& portError, bool permissionDenied,
                                           const QString& deviceGroup)
{
    QString text = portError;
#ifdef Q_OS_LINUX
    if (permissionDenied) {
        const QString group = deviceGroup.isEmpty() ? QStringLiteral("dialout") : deviceGroup;
        text +=
            QStringLiteral("\n\nYour user must be a member of the group that owns the device (%1; on "
                           "Debian this is dialout). Add it with \"sudo adduser $USER %1\" and log in again.")
                .arg(group);
    }
#else
    Q_UNUSED(permissionDenied)
    Q_UNUSED(deviceGroup)
#endif
    return text;
}

std::optional<QString> QtSerialPortAdapter::open(const QString& name)
{
    close();
    m_port.setPortName(name);
    m_port.setBaudRate(kLineBaud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const bool denied = m_port.error() == QSerialPort::PermissionError;
        QFileInfo device(name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name);
        const QString text =
            openErrorText(m_port.errorString(), denied, device.exists() ? device.group() : QString());
        m_port.clearError();
        return text;
    }
    m_port.setDataTerminalReady(false);
    m_port.setRequestToSend(false);
    m_lineFreeAtMs = 0;
    return std::nullopt;
}

void QtSerialPortAdapter::close()
{
    m_txEmptyTimer.stop();
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialPortAdapter::isOpen() const
{
    return m_port.isOpen();
}

bool QtSerialPortAdapter::write(const QByteArray& data)
{
    if (!m_port.isOpen())
        return false;
    if (m_port.write(data) != data.size())
        return false;
    // The bytes queue behind whatever is still on the line.
    const qint64 now = m_clock.elapsed();
    m_lineFreeAtMs = std::max(now, m_lineFreeAtMs) + lineTimeMs(data.size());
    m_txEmptyTimer.start(static_cast<int>(m_lineFreeAtMs - now));
    return true;
}

void QtSerialPortAdapter::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        if (m_port.isOpen())
            emit readFailed();
        break;
    default:
        break;
    }
}

} // namespace kvam
