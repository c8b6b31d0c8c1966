#include "cli/MeterSession.h"

namespace kvam::cli {

MeterSession::MeterSession(const QString& port, LinkDriver::PortFactory factory, QObject* parent)
    : QObject(parent), m_port(port)
{
    LinkClient& client = *this;
    m_driver = std::make_unique<LinkDriver>(client, std::move(factory), this);
    m_model.attach(m_driver->engine());
    m_driver->setFastRefresh(true);
    m_silence.start();
    connect(m_driver.get(), &LinkDriver::portStatusChanged, this, [this] {
        switch (m_driver->portStatus()) {
        case PortStatus::Up:
            // The meter is given its time to answer from the moment the first connection is made.
            if (!m_answered && !m_lost.isValid())
                m_silence.restart();
            break;
        case PortStatus::Reconnecting:
            // Counted from the loss until the meter answers again: a server that takes the
            // connection and drops it again at once does not bring the meter back.
            if (!m_lost.isValid())
                m_lost.start();
            break;
        default:
            break;
        }
        emit event();
    });
    connect(m_driver.get(), &LinkDriver::portFailed, this, [this](const QString&, const QString& reason) {
        m_failure = reason;
        emit event();
    });
}

std::optional<qint64> MeterSession::lostFor() const
{
    if (!m_lost.isValid())
        return std::nullopt;
    return m_lost.elapsed();
}

MeterSession::~MeterSession()
{
    close();
}

std::optional<QString> MeterSession::open()
{
    if (auto error = m_driver->openPort(m_port))
        return error;
    m_open = true;
    m_silence.restart();
    m_model.startUp();
    return std::nullopt;
}

void MeterSession::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_model.finish();
    m_driver->stopPolling();
    m_driver->closePort();
}

QString MeterSession::meterText() const
{
    const auto meter = m_model.lineMeter();
    return meter ? QString::number(*meter) : QStringLiteral("?");
}

void MeterSession::requestPayload(std::uint8_t code, std::uint8_t* payload, int size)
{
    m_model.requestPayload(code, payload, size);
}

void MeterSession::requestSent(std::uint8_t code)
{
    m_model.requestSent(code);
}

void MeterSession::answerReceived(std::uint8_t code, const std::uint8_t* payload)
{
    m_model.answerReceived(code, payload);
    m_answered = true;
    m_lost.invalidate();
    m_silence.restart();
    emit event();
}

bool MeterSession::mayRequest(std::uint8_t code)
{
    return m_model.mayRequest(code);
}

void MeterSession::lineInterrupted()
{
    m_model.lineInterrupted();
    emit event();
}

} // namespace kvam::cli
