#pragma once

#include "device/DeviceModel.h"
#include "link/LinkDriver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace kvam::cli {

/// One meter on one port: its own device model and link driver, with the fast refresh on (the next
/// request goes out as soon as the last exchange has ended). Every good answer and every time-out
/// is announced by `event`, after the model has taken it.
class MeterSession : public QObject, private LinkClient
{
    Q_OBJECT
public:
    MeterSession(const QString& port, LinkDriver::PortFactory factory, QObject* parent = nullptr);
    ~MeterSession() override;

    const QString& port() const { return m_port; }
    DeviceModel& model() { return m_model; }
    LinkDriver& driver() { return *m_driver; }

    /// Opens the port and flags the start-up reads; the port's error text on failure.
    std::optional<QString> open();
    /// Ends the session: owed writes journalled as not acknowledged, the port closed.
    void close();

    /// A good answer has arrived since the port was opened.
    bool answered() const { return m_answered; }
    /// Milliseconds since the last good answer, or since the port was opened before the first.
    qint64 silentFor() const { return m_silence.elapsed(); }
    /// The meter on the line once identified, as a text ("?" before).
    QString meterText() const;
    /// Why a network port's first connection failed (empty while none failed).
    const QString& failure() const { return m_failure; }
    /// Milliseconds since a network port lost its connection, until the meter answers again.
    std::optional<qint64> lostFor() const;

signals:
    void event();

private:
    void requestPayload(std::uint8_t code, std::uint8_t* payload, int size) override;
    void requestSent(std::uint8_t code) override;
    void answerReceived(std::uint8_t code, const std::uint8_t* payload) override;
    bool mayRequest(std::uint8_t code) override;
    void lineInterrupted() override;

    QString m_port;
    DeviceModel m_model;
    std::unique_ptr<LinkDriver> m_driver;
    QElapsedTimer m_silence;
    QElapsedTimer m_lost;
    QString m_failure;
    bool m_answered = false;
    bool m_open = false;
};

} // namespace kvam::cli
