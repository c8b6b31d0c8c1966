#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace kvam {

/// The client's side of a Telnet connection to a serial device server that speaks the COM Port
/// Control Option (RFC 2217): the line's bytes pass through with 0xFF doubled, the options are
/// negotiated as far as a binary line needs them, and the server's answers to the line settings
/// are collected. Plain byte handling: the network port owns the socket and the timers.
class TelnetClient
{
public:
    static constexpr std::uint8_t kIac = 255;
    static constexpr std::uint8_t kDont = 254;
    static constexpr std::uint8_t kDo = 253;
    static constexpr std::uint8_t kWont = 252;
    static constexpr std::uint8_t kWill = 251;
    static constexpr std::uint8_t kSb = 250;
    static constexpr std::uint8_t kSe = 240;
    static constexpr std::uint8_t kBinary = 0;
    static constexpr std::uint8_t kSuppressGoAhead = 3;
    static constexpr std::uint8_t kComPort = 44;
    // COM Port Control Option commands from the client; the server answers with the same plus 100.
    static constexpr std::uint8_t kSetBaudRate = 1;
    static constexpr std::uint8_t kSetDataSize = 2;
    static constexpr std::uint8_t kSetParity = 3;
    static constexpr std::uint8_t kSetStopSize = 4;
    static constexpr std::uint8_t kSetControl = 5;
    static constexpr std::uint8_t kServerOffset = 100;
    static constexpr std::uint8_t kParityNone = 1;
    static constexpr std::uint8_t kOneStopBit = 1;
    static constexpr std::uint8_t kNoFlowControl = 1;

    /// What the server answered to the line settings; a field stays empty until it has answered.
    struct ServerSettings
    {
        std::optional<std::uint32_t> baud;
        std::optional<std::uint8_t> dataBits;
        std::optional<std::uint8_t> parity;
        std::optional<std::uint8_t> stopBits;
        bool complete() const { return baud && dataBits && parity && stopBits; }
        /// "19200 baud, 8 data bits, parity 1 (none), stop bits 1" as far as answered.
        QString text() const;
        /// Whether every answered setting is the one asked for.
        bool matches(std::uint32_t wantBaud) const;
    };

    enum class ComPort
    {
        Asked,    ///< WILL COM-PORT-OPTION sent, no answer yet
        Accepted, ///< the server said DO
        Refused   ///< the server said DONT
    };

    /// The bytes that open the negotiation: binary both ways, go-ahead suppressed, and the COM
    /// Port Control Option offered.
    QByteArray start();
    /// The line settings to ask for once the server has accepted the option: `baud` 8N1, no flow
    /// control.
    static QByteArray lineSettings(std::uint32_t baud);

    /// Line bytes to send: every 0xFF doubled; until the server has agreed to a binary line, a CR
    /// is followed by a NUL as Telnet's network virtual terminal wants it.
    QByteArray escape(const QByteArray& data) const;

    /// Takes bytes from the server. Returns the line's bytes among them; what must be answered
    /// is appended to `reply`. Commands split across calls are kept until they are whole.
    QByteArray feed(const QByteArray& bytes, QByteArray& reply);

    ComPort comPort() const { return m_comPort; }
    const ServerSettings& serverSettings() const { return m_settings; }

private:
    enum class State
    {
        Data,
        Iac,
        Option, ///< after WILL, WONT, DO or DONT: the option byte
        Sub,    ///< inside SB ... IAC SE
        SubIac, ///< an IAC inside a subnegotiation
        DataCr  ///< a CR in a line that is not binary: a NUL after it is dropped
    };
    void negotiate(std::uint8_t verb, std::uint8_t option, QByteArray& reply);
    void subnegotiation();

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    QByteArray m_sub;
    static constexpr int kMaxSub = 64; ///< a longer subnegotiation is dropped, not collected
    // Per option: whether it is on for us (WILL) and for the server (DO), and whether we asked.
    std::array<bool, 256> m_us{};
    std::array<bool, 256> m_him{};
    std::array<bool, 256> m_askedUs{};
    std::array<bool, 256> m_askedHim{};
    ComPort m_comPort = ComPort::Asked;
    ServerSettings m_settings;
};

} // namespace kvam
