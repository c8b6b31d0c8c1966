#include "link/LinkDriver.h"

#include "texts/UiTexts.h"

#include <chrono>
#include <thread>

namespace kvam {

LinkDriver::LinkDriver(LinkClient& client, PortFactory factory, QObject* parent)
    : QObject(parent), m_factory(std::move(factory)), m_engine(*this, client)
{
    struct TimerSetup
    {
        QTimer* timer;
        const char* name;
        int interval;
        void (LinkEngine::*handler)();
    };
    const TimerSetup timers[] = {
        {&m_commTimer, "CommTimer", 200, &LinkEngine::CommTimerTimer},
        {&m_timeoutTimer, "TimeoutTimer", kAnswerTimeoutMs, &LinkEngine::TimeoutTimerTimer},
        {&m_recWatchdog, "RecWatchdog", kRecWatchdogMs, nullptr},
        {&m_txTimer, "TxTimer", 150, &LinkEngine::TxTimerTimer},
        {&m_rxTimer, "RxTimer", 150, &LinkEngine::RxTimerTimer},
    };
    for (const TimerSetup& s : timers) {
        s.timer->setParent(this);
        s.timer->setObjectName(QString::fromLatin1(s.name));
        s.timer->setInterval(s.interval);
        s.timer->setTimerType(Qt::PreciseTimer);
        if (auto handler = s.handler)
            connect(s.timer, &QTimer::timeout, this, [this, handler] { (m_engine.*handler)(); });
    }
    connect(&m_recWatchdog, &QTimer::timeout, this, &LinkDriver::recWatchdogExpired);
    // The one-shot timers switch themselves off when they fire.
    for (QTimer* t : {&m_timeoutTimer, &m_recWatchdog, &m_txTimer, &m_rxTimer})
        t->setSingleShot(true);
    m_commTimer.start();
    m_clock.start();
}

LinkDriver::~LinkDriver()
{
    if (m_port)
        m_port->disconnect(this);
}

std::optional<QString> LinkDriver::openPort(const QString& name)
{
    closePort();
    std::unique_ptr<SerialPort> port = m_factory ? m_factory(name) : nullptr;
    if (!port)
        return currentText("Message.NoSuchPort").arg(name);
    if (auto error = port->open(name))
        return error;
    m_port = std::move(port);
    m_portName = name;
    SerialPort* p = m_port.get();
    connect(p, &SerialPort::received, this, [this](const QByteArray& bytes) {
        m_lastReadAt = nowMicros();
        m_engine.ComPort1RxChar(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                static_cast<int>(bytes.size()));
    });
    connect(p, &SerialPort::txEmpty, this, [this] { m_engine.ComPort1TxEmpty(); });
    connect(p, &SerialPort::readFailed, this, [this] { m_engine.readFailed(); });
    connect(p, &SerialPort::note, this,
            [this](const QString& text) { emit monitorText(text + QStringLiteral("\r\n")); });
    connect(p, &SerialPort::connectionUp, this, [this] {
        // Whoever answers on a new connection may be another meter: the line starts afresh.
        m_engine.portOpened();
        applyAnswerTimeout();
        emit monitorText(
            currentText("Network.Connected").arg(m_portName).arg(roundTripMs()).arg(answerTimeoutMs()) +
            QStringLiteral("\r\n"));
        emit portStatusChanged();
        if (m_engine.fastRefresh())
            scheduleTurn();
    });
    connect(p, &SerialPort::connectionLost, this, [this](const QString& reason) {
        m_engine.portOpened();
        setRxLamp(LampColor::Red);
        emit monitorText(currentText("Network.Lost").arg(m_portName, reason) + QStringLiteral("\r\n"));
        emit portStatusChanged();
    });
    connect(p, &SerialPort::openFailed, this, [this](const QString& reason) {
        const QString name = m_portName;
        emit monitorText(currentText("Network.OpenFailed").arg(name, reason) + QStringLiteral("\r\n"));
        closePort();
        emit portFailed(name, reason);
    });
    applyAnswerTimeout();
    m_engine.portOpened();
    emit portStatusChanged();
    return std::nullopt;
}

void LinkDriver::closePort()
{
    if (!m_port)
        return;
    m_port->disconnect(this);
    m_port->close();
    // The port may be closing from inside one of its own signals: let it go once that returns.
    m_port.release()->deleteLater();
    m_engine.portClosed();
    emit portStatusChanged();
}

PortStatus LinkDriver::portStatus() const
{
    return m_port ? m_port->status() : PortStatus::Closed;
}

int LinkDriver::roundTripMs() const
{
    return m_port ? m_port->roundTripMs() : 0;
}

int LinkDriver::answerTimeoutMs() const
{
    return m_timeoutOverride ? *m_timeoutOverride : kAnswerTimeoutMs + roundTripMs();
}

void LinkDriver::setAnswerTimeoutOverride(std::optional<int> ms)
{
    m_timeoutOverride = ms;
    applyAnswerTimeout();
}

void LinkDriver::applyAnswerTimeout()
{
    m_timeoutTimer.setInterval(answerTimeoutMs());
}

bool LinkDriver::portOpen() const
{
    // A network port that is still connecting, or reconnecting, takes no request.
    return m_port && m_port->status() == PortStatus::Up;
}

bool LinkDriver::writePort(const std::uint8_t* data, int size)
{
    return m_port && m_port->write(QByteArray(reinterpret_cast<const char*>(data), size));
}

void LinkDriver::restartAnswerTimeout()
{
    // A network's round trip changes while the connection lasts.
    applyAnswerTimeout();
    m_timeoutTimer.start();
}

void LinkDriver::stopAnswerTimeout()
{
    m_timeoutTimer.stop();
}

void LinkDriver::restartRecWatchdog()
{
    // Restarted for every read of the line: a running watchdog only takes the new start, and
    // winds itself on when it falls due (below) instead of being stopped and set again each time.
    m_recWatchdogFrom = nowMicros();
    if (!m_recWatchdog.isActive())
        m_recWatchdog.start(kRecWatchdogMs);
}

void LinkDriver::recWatchdogExpired()
{
    const std::int64_t left = std::int64_t(kRecWatchdogMs) * 1000 - (nowMicros() - m_recWatchdogFrom);
    if (left > 0) {
        m_recWatchdog.start(int((left + 999) / 1000));
        return;
    }
    m_engine.RecWatchdogTimer();
}

void LinkDriver::restartTxLampTimer()
{
    m_txTimer.start();
}

void LinkDriver::startRxLampTimer()
{
    m_rxTimer.start();
}

void LinkDriver::stopPolling()
{
    m_commTimer.stop();
    m_timeoutTimer.stop();
    // A turn already queued finds the scheduler stopped and does nothing.
}

void LinkDriver::ScanClick(bool checked)
{
    m_engine.ScanClick(checked);
    m_commTimer.start();
}

void LinkDriver::SendbuttonClick()
{
    m_engine.SendbuttonClick();
}

void LinkDriver::setTxLamp(LampColor c)
{
    emit txLampChanged(c);
}

void LinkDriver::setRxLamp(LampColor c)
{
    emit rxLampChanged(c);
}

void LinkDriver::displayCom(const std::string& block)
{
    emit monitorText(QString::fromLatin1(block.data(), static_cast<qsizetype>(block.size())));
}

void LinkDriver::flagsChanged()
{
    emit flagsUpdated();
}

namespace {
/// The least quiet time between the end of one exchange and the next request: three character
/// times at 19200 baud (10 bits each), so that the meter sees the frames apart.
constexpr std::int64_t kTurnGapMicros = 1600;
} // namespace

void LinkDriver::scheduleTurn()
{
    // A stopped scheduler (a refused meter) takes no turns.
    if (!m_commTimer.isActive() || m_turnQueued)
        return;
    // Queued at normal priority, so the turn is taken before the repaints the answer set going
    // (those are posted at low priority): the request is on the line while the window paints.
    m_turnQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_turnQueued = false;
            takeTurnAfterGap();
        },
        Qt::QueuedConnection);
}

void LinkDriver::takeTurnAfterGap()
{
    if (!m_commTimer.isActive())
        return;
    // Decoding the answer usually took longer than the gap. When not, the rest of it (at most
    // 1.6 ms) is waited here: a timer would let the window's repaint go first, and that takes
    // several times as long.
    const std::int64_t quiet = nowMicros() - m_lastReadAt;
    if (quiet >= 0 && quiet < kTurnGapMicros)
        std::this_thread::sleep_for(std::chrono::microseconds(kTurnGapMicros - quiet));
    m_engine.fastTurn();
}

std::int64_t LinkDriver::nowMicros() const
{
    return m_clock.nsecsElapsed() / 1000;
}

} // namespace kvam
