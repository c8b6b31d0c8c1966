#include "platform/Telnet.h"

#include <QStringList>

#include <initializer_list>

namespace kvam {

namespace {

constexpr char byte(std::uint8_t b)
{
    return static_cast<char>(b);
}

QByteArray bytes(std::initializer_list<std::uint8_t> list)
{
    QByteArray out;
    for (std::uint8_t b : list)
        out += byte(b);
    return out;
}

// The options this client takes part in; any other is refused.
bool supported(std::uint8_t option)
{
    return option == TelnetClient::kBinary || option == TelnetClient::kSuppressGoAhead ||
           option == TelnetClient::kComPort;
}

QByteArray command(std::uint8_t verb, std::uint8_t option)
{
    return bytes({TelnetClient::kIac, verb, option});
}

/// IAC SB COM-PORT-OPTION cmd value... IAC SE, with 0xFF in the value doubled.
QByteArray comPortCommand(std::uint8_t cmd, const QByteArray& value)
{
    QByteArray out = bytes({TelnetClient::kIac, TelnetClient::kSb, TelnetClient::kComPort, cmd});
    for (char c : value) {
        out += c;
        if (static_cast<std::uint8_t>(c) == TelnetClient::kIac)
            out += c;
    }
    out += byte(TelnetClient::kIac);
    out += byte(TelnetClient::kSe);
    return out;
}

} // namespace

QString TelnetClient::ServerSettings::text() const
{
    QStringList parts;
    if (baud)
        parts << QStringLiteral("%1 baud").arg(*baud);
    if (dataBits)
        parts << QStringLiteral("%1 data bits").arg(*dataBits);
    if (parity) {
        static const char* const kNames[] = {"?", "none", "odd", "even", "mark", "space"};
        parts << QStringLiteral("parity %1")
                     .arg(QLatin1String(*parity < std::size(kNames) ? kNames[*parity] : "?"));
    }
    if (stopBits) {
        static const char* const kNames[] = {"?", "1 stop bit", "2 stop bits", "1.5 stop bits"};
        parts << QString(QLatin1String(*stopBits < std::size(kNames) ? kNames[*stopBits] : "? stop bits"));
    }
    return parts.join(QStringLiteral(", "));
}

bool TelnetClient::ServerSettings::matches(std::uint32_t wantBaud) const
{
    return (!baud || *baud == wantBaud) && (!dataBits || *dataBits == 8) &&
           (!parity || *parity == kParityNone) && (!stopBits || *stopBits == kOneStopBit);
}

QByteArray TelnetClient::start()
{
    m_askedUs[kBinary] = m_askedHim[kBinary] = true;
    m_askedUs[kSuppressGoAhead] = m_askedHim[kSuppressGoAhead] = true;
    m_askedUs[kComPort] = true;
    m_comPort = ComPort::Asked;
    return command(kWill, kBinary) + command(kDo, kBinary) + command(kWill, kSuppressGoAhead) +
           command(kDo, kSuppressGoAhead) + command(kWill, kComPort);
}

QByteArray TelnetClient::lineSettings(std::uint32_t baud)
{
    const QByteArray rate = bytes(
        {std::uint8_t(baud >> 24), std::uint8_t(baud >> 16), std::uint8_t(baud >> 8), std::uint8_t(baud)});
    return comPortCommand(kSetBaudRate, rate) + comPortCommand(kSetDataSize, QByteArray(1, 8)) +
           comPortCommand(kSetParity, QByteArray(1, byte(kParityNone))) +
           comPortCommand(kSetStopSize, QByteArray(1, byte(kOneStopBit))) +
           comPortCommand(kSetControl, QByteArray(1, byte(kNoFlowControl)));
}

QByteArray TelnetClient::escape(const QByteArray& data) const
{
    QByteArray out;
    out.reserve(data.size() + 8);
    const bool binary = m_us[kBinary];
    for (char c : data) {
        out += c;
        if (static_cast<std::uint8_t>(c) == kIac)
            out += c;
        else if (!binary && c == '\r')
            out += '\0';
    }
    return out;
}

QByteArray TelnetClient::feed(const QByteArray& bytes, QByteArray& reply)
{
    QByteArray data;
    data.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (m_state) {
        case State::DataCr:
            m_state = State::Data;
            if (b == 0)
                break;
            [[fallthrough]];
        case State::Data:
            if (b == kIac) {
                m_state = State::Iac;
            } else {
                data += c;
                if (c == '\r' && !m_him[kBinary])
                    m_state = State::DataCr;
            }
            break;
        case State::Iac:
            if (b == kIac) {
                data += c;
                m_state = State::Data;
            } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                m_verb = b;
                m_state = State::Option;
            } else if (b == kSb) {
                m_sub.clear();
                m_state = State::Sub;
            } else {
                // NOP, go-ahead, break and the other two-byte commands carry nothing for the line.
                m_state = State::Data;
            }
            break;
        case State::Option:
            negotiate(m_verb, b, reply);
            m_state = State::Data;
            break;
        case State::Sub:
            if (b == kIac)
                m_state = State::SubIac;
            else if (m_sub.size() < kMaxSub)
                m_sub += c;
            break;
        case State::SubIac:
            if (b == kSe) {
                subnegotiation();
                m_state = State::Data;
            } else {
                // IAC IAC is a 0xFF of the value; anything else ends a malformed subnegotiation.
                if (b == kIac && m_sub.size() < kMaxSub)
                    m_sub += c;
                m_state = b == kIac ? State::Sub : State::Data;
            }
            break;
        }
    }
    return data;
}

void TelnetClient::negotiate(std::uint8_t verb, std::uint8_t option, QByteArray& reply)
{
    // As RFC 1143 has it: an agreement is answered only when it changes the option's state, a
    // refusal every time, so two parties never echo each other for ever.
    const bool ours = supported(option);
    const bool his = option == kBinary || option == kSuppressGoAhead;
    switch (verb) {
    case kDo:
        if (!ours) {
            reply += command(kWont, option);
        } else if (!m_us[option]) {
            if (!m_askedUs[option])
                reply += command(kWill, option);
            m_us[option] = true;
        }
        m_askedUs[option] = false;
        if (ours && option == kComPort)
            m_comPort = ComPort::Accepted;
        break;
    case kDont:
        if (m_us[option] && !m_askedUs[option])
            reply += command(kWont, option);
        m_us[option] = false;
        m_askedUs[option] = false;
        if (option == kComPort)
            m_comPort = ComPort::Refused;
        break;
    case kWill:
        if (!his) {
            // Echo and the rest: the server keeps them to itself.
            reply += command(kDont, option);
        } else if (!m_him[option]) {
            if (!m_askedHim[option])
                reply += command(kDo, option);
            m_him[option] = true;
        }
        m_askedHim[option] = false;
        break;
    case kWont:
        if (m_him[option] && !m_askedHim[option])
            reply += command(kDont, option);
        m_him[option] = false;
        m_askedHim[option] = false;
        break;
    default:
        break;
    }
}

void TelnetClient::subnegotiation()
{
    if (m_sub.size() < 2 || static_cast<std::uint8_t>(m_sub[0]) != kComPort)
        return;
    const auto cmd = static_cast<std::uint8_t>(m_sub[1]);
    const QByteArray value = m_sub.mid(2);
    auto at = [&](int i) { return static_cast<std::uint8_t>(value[i]); };
    switch (cmd) {
    case kServerOffset + kSetBaudRate:
        if (value.size() == 4)
            m_settings.baud =
                std::uint32_t(at(0)) << 24 | std::uint32_t(at(1)) << 16 | std::uint32_t(at(2)) << 8 | at(3);
        break;
    case kServerOffset + kSetDataSize:
        if (value.size() == 1)
            m_settings.dataBits = at(0);
        break;
    case kServerOffset + kSetParity:
        if (value.size() == 1)
            m_settings.parity = at(0);
        break;
    case kServerOffset + kSetStopSize:
        if (value.size() == 1)
            m_settings.stopBits = at(0);
        break;
    default:
        // Line and modem state notifications, flow control and the signature: nothing the meter's
        // line needs.
        break;
    }
}

} // namespace kvam
