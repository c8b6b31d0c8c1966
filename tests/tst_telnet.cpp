// The Telnet codec of the RFC 2217 port, fed what a server sends in any split: the line's bytes
// with 0xFF doubled, option negotiation (answered so that two parties never echo each other), the
// server's answers to the line settings, subnegotiations past the bound, and CR NUL on a line that
// is not binary.

#include "platform/Telnet.h"

#include <QTest>

#include <functional>
#include <initializer_list>
#include <vector>

using kvam::TelnetClient;

namespace {

constexpr std::uint8_t kIac = TelnetClient::kIac;
constexpr std::uint8_t kEcho = 1;
constexpr std::uint8_t kNop = 241;

QByteArray b(std::initializer_list<int> list)
{
    QByteArray out;
    for (int v : list)
        out += char(v);
    return out;
}
QByteArray cmd(std::uint8_t verb, std::uint8_t option)
{
    return b({kIac, verb, option});
}
QByteArray will(std::uint8_t o)
{
    return cmd(TelnetClient::kWill, o);
}
QByteArray wont(std::uint8_t o)
{
    return cmd(TelnetClient::kWont, o);
}
QByteArray doo(std::uint8_t o)
{
    return cmd(TelnetClient::kDo, o);
}
QByteArray dont(std::uint8_t o)
{
    return cmd(TelnetClient::kDont, o);
}
/// IAC SB COM-PORT-OPTION `code` `value` IAC SE; `value` as it goes on the wire (0xFF doubled).
QByteArray comPort(std::uint8_t code, const QByteArray& value)
{
    return b({kIac, TelnetClient::kSb, TelnetClient::kComPort, code}) + value + b({kIac, TelnetClient::kSe});
}
constexpr std::uint8_t answer(std::uint8_t command)
{
    return TelnetClient::kServerOffset + command;
}
/// The server's answers to 19200 baud 8N1.
QByteArray settingsAnswers()
{
    return comPort(answer(TelnetClient::kSetBaudRate), b({0, 0, 0x4B, 0})) +
           comPort(answer(TelnetClient::kSetDataSize), b({8})) +
           comPort(answer(TelnetClient::kSetParity), b({TelnetClient::kParityNone})) +
           comPort(answer(TelnetClient::kSetStopSize), b({TelnetClient::kOneStopBit}));
}
/// `bytes` one byte a feed.
QList<QByteArray> singly(const QByteArray& bytes)
{
    QList<QByteArray> out;
    for (char c : bytes)
        out << QByteArray(1, c);
    return out;
}

using Check = std::function<void(const TelnetClient&)>;

struct Row
{
    const char* name;
    bool started; ///< start() called before the server's bytes
    QList<QByteArray> feeds;
    QByteArray data;  ///< the line's bytes, all feeds together
    QByteArray reply; ///< what the client answered, all feeds together
    Check check = {};
};

const Check kAccepted = [](const TelnetClient& t) { QCOMPARE(t.comPort(), TelnetClient::ComPort::Accepted); };
const Check kNoSettings = [](const TelnetClient& t) {
    const TelnetClient::ServerSettings& s = t.serverSettings();
    QVERIFY(!s.baud && !s.dataBits && !s.parity && !s.stopBits);
};
const Check kAsked19200 = [](const TelnetClient& t) {
    const TelnetClient::ServerSettings& s = t.serverSettings();
    QVERIFY(s.complete());
    QCOMPARE(*s.baud, 19200u);
    QCOMPARE(int(*s.dataBits), 8);
    QCOMPARE(int(*s.parity), int(TelnetClient::kParityNone));
    QCOMPARE(int(*s.stopBits), int(TelnetClient::kOneStopBit));
    QVERIFY(s.matches(19200));
    QVERIFY(!s.matches(9600));
};

const std::vector<Row>& rows()
{
    using T = TelnetClient;
    static const std::vector<Row> kRows = {
        // The line's bytes.
        {"0xFF comes doubled", true, {b({1, kIac, kIac, 2})}, b({1, 0xFF, 2}), {}},
        {"a doubled 0xFF split across feeds", true, {b({1, kIac}), b({kIac, 2})}, b({1, 0xFF, 2}), {}},
        {"a run of 0xFF, one byte a feed",
         true,
         singly(QByteArray(40, char(kIac))),
         QByteArray(20, char(kIac)),
         {}},
        {"a command split over three feeds between data",
         true,
         {QByteArray("A") + char(kIac), b({T::kWill}), b({T::kBinary, 'B'})},
         "AB",
         {}},
        {"two-byte commands carry no data", true, {b({'x', kIac, kNop, 'y', kIac, 249, 'z'})}, "xyz", {}},
        // Negotiation: agreements answered only when they change something, refusals always.
        {"agreement to what was asked: no answer",
         true,
         {doo(T::kBinary) + will(T::kBinary) + doo(T::kSuppressGoAhead) + will(T::kSuppressGoAhead)},
         {},
         {}},
        {"DO for a supported option not asked for: WILL once",
         false,
         {doo(T::kBinary), doo(T::kBinary), doo(T::kBinary)},
         {},
         will(T::kBinary)},
        {"WILL for a supported option not asked for: DO once",
         false,
         {will(T::kSuppressGoAhead) + will(T::kSuppressGoAhead)},
         {},
         doo(T::kSuppressGoAhead)},
        {"DO for an option this client lacks: WONT", true, {doo(kEcho)}, {}, wont(kEcho)},
        {"WILL for an option the server keeps: DONT", true, {will(kEcho)}, {}, dont(kEcho)},
        {"the server offering the COM port option itself: DONT",
         true,
         {will(T::kComPort)},
         {},
         dont(T::kComPort)},
        {"DONT and WONT for options that are off: no answer",
         false,
         {dont(kEcho) + wont(kEcho) + dont(T::kBinary) + wont(T::kBinary)},
         {},
         {}},
        {"refusals of what was asked: no answer",
         true,
         {dont(T::kBinary) + wont(T::kBinary) + dont(T::kSuppressGoAhead)},
         {},
         {}},
        {"DONT after agreeing: WONT once",
         true,
         {doo(T::kBinary), dont(T::kBinary), dont(T::kBinary)},
         {},
         wont(T::kBinary)},
        {"WONT after agreeing: DONT once",
         true,
         {will(T::kBinary), wont(T::kBinary), wont(T::kBinary)},
         {},
         dont(T::kBinary)},
        {"a verb split from its option", false, {b({kIac, T::kDo}), b({T::kBinary})}, {}, will(T::kBinary)},
        // The COM Port Control Option.
        {"DO COM-PORT-OPTION: accepted", true, {doo(T::kComPort)}, {}, {}, kAccepted},
        {"DONT COM-PORT-OPTION: refused",
         true,
         {dont(T::kComPort)},
         {},
         {},
         [](const TelnetClient& t) { QCOMPARE(t.comPort(), TelnetClient::ComPort::Refused); }},
        {"nothing from the server: still asked",
         true,
         {QByteArray("abc")},
         "abc",
         {},
         [](const TelnetClient& t) { QCOMPARE(t.comPort(), TelnetClient::ComPort::Asked); }},
        {"the line settings answered", true, {doo(T::kComPort) + settingsAnswers()}, {}, {}, kAsked19200},
        {"the line settings answered one byte a feed, among data",
         true,
         singly(QByteArray("a") + settingsAnswers() + QByteArray("b")),
         "ab",
         {},
         kAsked19200},
        {"a rate with 0xFF bytes, doubled",
         true,
         {comPort(answer(T::kSetBaudRate), b({0, 1, kIac, kIac, kIac, kIac}))},
         {},
         {},
         [](const TelnetClient& t) {
             QCOMPARE(*t.serverSettings().baud, 0x1FFFFu);
             QVERIFY(!t.serverSettings().matches(19200));
         }},
        {"answers of the wrong length are not taken",
         true,
         {comPort(answer(T::kSetBaudRate), b({0, 0x4B, 0})) + comPort(answer(T::kSetDataSize), b({8, 0})) +
          comPort(answer(T::kSetParity), {}) + comPort(T::kSetStopSize, b({1}))},
         {},
         {},
         kNoSettings},
        {"other options' subnegotiations and the notifications are passed over",
         true,
         {b({kIac, T::kSb, 24, 0, 0, 0x4B, 0, kIac, T::kSe}) + comPort(answer(7), b({0x30})) +
          comPort(answer(0), "ser2net") + "ok"},
         "ok",
         {},
         kNoSettings},
        {"a subnegotiation longer than the bound is dropped whole",
         true,
         {comPort(answer(T::kSetBaudRate), b({0, 0, 0x4B, 0}) + QByteArray(200, 'x')) + "after"},
         "after",
         {},
         kNoSettings},
        {"a subnegotiation longer than the bound, 0xFF doubled in it",
         true,
         singly(comPort(answer(T::kSetDataSize), QByteArray(150, char(kIac))) + "after"),
         "after",
         {},
         kNoSettings},
        {"a subnegotiation cut by another command ends there",
         true,
         {b({kIac, T::kSb, T::kComPort, answer(T::kSetDataSize), 8, kIac, kNop}) + "z" +
          comPort(answer(T::kSetParity), b({1}))},
         "z",
         {},
         [](const TelnetClient& t) {
             QVERIFY(!t.serverSettings().dataBits);
             QCOMPARE(int(*t.serverSettings().parity), 1);
         }},
        // CR NUL: Telnet's way of a bare CR while the server's side is not binary.
        {"CR NUL from a server that is not binary: the NUL dropped",
         true,
         {b({'A', '\r', 0, 'B'})},
         "A\rB",
         {}},
        {"CR and its NUL in two feeds", true, {"A\r", b({0, 'B'})}, "A\rB", {}},
        {"CR LF and CR 0xFF stay",
         true,
         {b({'\r', '\n', '\r', kIac, kIac, '\r'}), b({'\r', 0})},
         b({'\r', '\n', '\r', 0xFF, '\r', '\r'}),
         {}},
        {"a NUL not after CR stays", true, {b({0, 'A', 0})}, b({0, 'A', 0}), {}},
        {"CR NUL from a binary server: both stay",
         true,
         {will(T::kBinary) + b({'\r', 0, '\r'}), b({0})},
         b({'\r', 0, '\r', 0}),
         {}},
        {"CR NUL once the server leaves binary",
         true,
         {will(T::kBinary), wont(T::kBinary) + b({'\r', 0})},
         "\r",
         dont(T::kBinary)},
    };
    return kRows;
}

} // namespace

class TstTelnet : public QObject
{
    Q_OBJECT

private slots:
    void feed_data()
    {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < rows().size(); ++i)
            QTest::newRow(rows()[i].name) << int(i);
    }
    void feed()
    {
        QFETCH(int, row);
        const Row& r = rows()[std::size_t(row)];
        TelnetClient t;
        if (r.started)
            t.start();
        QByteArray data;
        QByteArray reply;
        for (const QByteArray& chunk : r.feeds) {
            const QByteArray got = t.feed(chunk, reply);
            QVERIFY(got.size() <= chunk.size());
            data += got;
        }
        QCOMPARE(data.toHex(' '), r.data.toHex(' '));
        QCOMPARE(reply.toHex(' '), r.reply.toHex(' '));
        if (r.check)
            r.check(t);
    }

    /// What goes to the server: 0xFF doubled always, CR followed by NUL until the server has agreed
    /// that we send binary.
    void escape_data()
    {
        using T = TelnetClient;
        QTest::addColumn<QByteArray>("server"); ///< what the server said first (after start())
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("not binary") << QByteArray() << b({'\r', 0xFF, 'a', 0})
                                    << b({'\r', 0, 0xFF, 0xFF, 'a', 0});
        QTest::newRow("binary") << doo(T::kBinary) << b({'\r', 0xFF, 'a', 0})
                                << b({'\r', 0xFF, 0xFF, 'a', 0});
        QTest::newRow("only the server's side binary")
            << will(T::kBinary) << QByteArray("\r") << b({'\r', 0});
        QTest::newRow("binary refused again")
            << doo(T::kBinary) + dont(T::kBinary) << QByteArray("\r") << b({'\r', 0});
        QTest::newRow("a record of 0xFF")
            << doo(T::kBinary) << QByteArray(300, char(kIac)) << QByteArray(600, char(kIac));
    }
    void escape()
    {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, wire);
        TelnetClient t;
        t.start();
        QByteArray reply;
        t.feed(server, reply);
        QCOMPARE(t.escape(line).toHex(' '), wire.toHex(' '));
    }

    /// The settings asked for, each value's 0xFF doubled.
    void lineSettings_data()
    {
        QTest::addColumn<quint32>("baud");
        QTest::addColumn<QByteArray>("rate"); ///< the rate's bytes on the wire
        QTest::newRow("19200") << 19200u << b({0, 0, 0x4B, 0});
        QTest::newRow("a rate with 0xFF bytes") << 0xFF00FFu << b({0, 0xFF, 0xFF, 0, 0xFF, 0xFF});
    }
    void lineSettings()
    {
        using T = TelnetClient;
        QFETCH(quint32, baud);
        QFETCH(QByteArray, rate);
        QCOMPARE(T::lineSettings(baud).toHex(' '),
                 (comPort(T::kSetBaudRate, rate) + comPort(T::kSetDataSize, b({8})) +
                  comPort(T::kSetParity, b({T::kParityNone})) +
                  comPort(T::kSetStopSize, b({T::kOneStopBit})) +
                  comPort(T::kSetControl, b({T::kNoFlowControl})))
                     .toHex(' '));
    }
};

QTEST_GUILESS_MAIN(TstTelnet)
#include "tst_telnet.moc"
