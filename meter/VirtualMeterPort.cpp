#include "meter/VirtualMeterPort.h"

#include "meter/AnswerSchedule.h"

#include <QTimer>

#include <algorithm>

namespace kvam {

VirtualMeterPort::VirtualMeterPort(bool pacing, VirtualMeterConfig config, QObject* parent)
    : SerialPort(parent), m_pacing(pacing), m_name(QLatin1String(kDemoPort)),
      m_own(std::make_unique<VirtualMeter>(std::move(config))), m_ownCable(m_own.get()), m_cable(&m_ownCable)
{
    m_clock.start();
}

VirtualMeterPort::VirtualMeterPort(bool pacing, QString name, Cable& cable, QObject* parent)
    : SerialPort(parent), m_pacing(pacing), m_name(std::move(name)), m_cable(&cable),
      m_heardOver(cable.connection())
{
    m_clock.start();
}

VirtualMeterPort::~VirtualMeterPort() = default;

std::optional<QString> VirtualMeterPort::open(const QString& name)
{
    if (name != m_name)
        return QStringLiteral("%1: no such port (the virtual meter is \"%2\")").arg(name, m_name);
    if (m_open)
        return QStringLiteral("%1 is already open").arg(name);
    m_open = true;
    return std::nullopt;
}

void VirtualMeterPort::close()
{
    m_open = false;
    ++m_generation;
    if (VirtualMeter* meter = m_cable->meter())
        meter->resetReceiver();
    m_txBusyUntilMs = 0;
    m_rxBusyUntilMs = 0;
}

bool VirtualMeterPort::write(const QByteArray& data)
{
    if (!m_open)
        return false;
    const quint64 generation = m_generation;
    int delay = 0;
    if (m_pacing) {
        const int now = nowMs();
        const int done = std::max(now, m_txBusyUntilMs) + lineTimeMs(data.size());
        m_txBusyUntilMs = done;
        delay = done - now;
    }
    QTimer::singleShot(delay, this, [this, generation, data] { requestLeftLine(generation, data); });
    return true;
}

void VirtualMeterPort::requestLeftLine(quint64 generation, const QByteArray& data)
{
    if (generation != m_generation)
        return;
    emit txEmpty();
    VirtualMeter* meter = m_cable->meter();
    const quint64 connection = m_cable->connection();
    if (connection != m_heardOver) {
        // A meter just plugged in has heard nothing of what went before.
        m_heardOver = connection;
        if (meter)
            meter->resetReceiver();
    }
    if (!meter)
        return;
    for (const MeterAnswer& answer : meter->receive(data))
        sendAnswer(connection, answer);
}

void VirtualMeterPort::sendAnswer(quint64 connection, const MeterAnswer& answer)
{
    const quint64 generation = m_generation;
    const std::vector<TimedChunk> chunks = scheduleAnswer(answer, m_pacing);
    if (chunks.empty())
        return;
    const int now = nowMs();
    int start = 0;
    if (m_pacing) {
        // Half duplex: an answer waits for the previous one to leave the line.
        start = std::max(now + kTurnaroundMs, m_rxBusyUntilMs) - now;
        m_rxBusyUntilMs = now + start + chunks.back().atMs;
    }
    for (const TimedChunk& chunk : chunks) {
        QTimer::singleShot(start + chunk.atMs, this, [this, generation, connection, bytes = chunk.bytes] {
            if (generation == m_generation && connection == m_cable->connection())
                emit received(bytes);
        });
    }
}

} // namespace kvam
