#pragma once

#include "link/LinkEngine.h"
#include "platform/SerialPort.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace kvam {

/// Owns the link's timers and the open port and feeds their events to the engine, on the GUI
/// thread. Which port class serves a name is decided by the factory the window hands in.
class LinkDriver : public QObject, public LinkIo
{
    Q_OBJECT
public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>(const QString& name)>;

    LinkDriver(LinkClient& client, PortFactory factory, QObject* parent = nullptr);
    ~LinkDriver() override;

    LinkEngine& engine() { return m_engine; }

    /// Closes any open port, then opens `name`. Returns the port's error text on failure.
    std::optional<QString> openPort(const QString& name);
    /// Drops the connection (harmless when none is open).
    void closePort() override;
    bool portOpen() const override;
    SerialPort* port() const { return m_port.get(); }

    const QTimer& commTimer() const { return m_commTimer; }

    /// The name the port was opened under (the last one, once closed).
    const QString& portName() const { return m_portName; }
    /// Where the open port stands (Closed when none is open).
    PortStatus portStatus() const;
    /// The answer time-out: 300 ms on a serial line; on a network port 300 ms plus the
    /// connection's measured round trip; the override, when one is set, everywhere.
    int answerTimeoutMs() const;
    /// The round trip a network port measured; 0 on a serial line.
    int roundTripMs() const;
    /// A fixed answer time-out in milliseconds (--timeout), or none for the one that fits the link.
    void setAnswerTimeoutOverride(std::optional<int> ms);
    static constexpr int kAnswerTimeoutMs = 300;

    /// The meter is refused: no further request goes out and no time-out is pending.
    void stopPolling();
    /// "SCAN" was clicked: polling follows the box, and the scheduler's timer runs again.
    void ScanClick(bool checked);
    /// "Send": one request even with SCAN off.
    void SendbuttonClick();
    /// Fast refresh: the next request goes out as soon as the last exchange has ended (after a gap
    /// of a few character times, so the meter sees the frames apart) instead of at the next tick.
    /// The slot order, the one-request rule and the time-out stay as they are. Off by default.
    void setFastRefresh(bool on) { m_engine.setFastRefresh(on); }
    bool fastRefresh() const { return m_engine.fastRefresh(); }

signals:
    void monitorText(const QString& block);
    void txLampChanged(kvam::LampColor c);
    void rxLampChanged(kvam::LampColor c);
    void flagsUpdated();
    /// The open port connected, lost its connection or was closed (portStatus() tells which).
    void portStatusChanged();
    /// A network port's first connection failed for `reason` (the system's words). The port is
    /// closed.
    void portFailed(const QString& port, const QString& reason);

private:
    bool writePort(const std::uint8_t* data, int size) override;
    void restartAnswerTimeout() override;
    void stopAnswerTimeout() override;
    void restartRecWatchdog() override;
    void restartTxLampTimer() override;
    void startRxLampTimer() override;
    void setTxLamp(LampColor c) override;
    void setRxLamp(LampColor c) override;
    void displayCom(const std::string& block) override;
    void flagsChanged() override;
    void scheduleTurn() override;
    std::int64_t nowMicros() const override;
    void takeTurnAfterGap();
    void recWatchdogExpired();
    void applyAnswerTimeout();

    static constexpr int kRecWatchdogMs = 200;

    PortFactory m_factory;
    std::unique_ptr<SerialPort> m_port;
    LinkEngine m_engine;
    QTimer m_commTimer;
    QTimer m_timeoutTimer;
    QTimer m_recWatchdog;
    QTimer m_txTimer;
    QTimer m_rxTimer;
    QElapsedTimer m_clock; ///< the line statistics' time
    QString m_portName;
    std::optional<int> m_timeoutOverride;
    std::int64_t m_lastReadAt = 0;      ///< when the line last gave bytes, in microseconds
    bool m_turnQueued = false;          ///< fast refresh: a turn waits for the event loop
    std::int64_t m_recWatchdogFrom = 0; ///< the last restart of RecWatchdog, in microseconds
};

} // namespace kvam
