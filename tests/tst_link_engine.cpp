// The protocol engine driven event by event: frames, receiver limits, time-outs and lamps, the
// scheduler's timing. What the answers mean is the device model's (tst_device_model). No timers,
// no sleeps.

#include "link/HexDump.h"
#include "link/PortNames.h"
#include "platform/NetworkPort.h"
#include "protocol/Crc.h"
#include "records/Records.h"
#include "tests/LinkFakes.h"
#include "texts/UiTexts.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cstring>

using namespace kvam;
using namespace kvam::test;

Q_DECLARE_METATYPE(kvam::test::Bytes)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

struct Rig
{
    FakeIo io;
    FakeClient client;
    LinkEngine engine{io, client};

    void feed(const Bytes& b) { test::feed(engine, b); }
    std::vector<int> sentCodes() const { return test::sentCodes(io); }
    void tickAnswered(int ticks) { test::tickAnswered(engine, io, ticks); }
};

QByteArray hex(const Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()))
        .toHex(' ')
        .toUpper();
}

/// Plays a script of line events on the rig, checking after each that every received byte is
/// accounted for and that every request has ended or is the one awaited. Tokens:
///   S<code>             the request of <code> goes out        E   its transmit-empty
///   +<us>               the clock moves on                     T   the answer time-out
///   A<code>/<n>[+<j>]   a good frame with <n> payload bytes in one read, <j> junk bytes behind it
///   B<code>/<n>         the same frame with a broken CRC       W   the receive watchdog
///   H<code>/<n>:<k>     the first <k> bytes of such a frame    R   the rest of it, in one read
///   J<n>                <n> bytes 0xFF (a length field no frame can have)
///   O                   a port is opened                       Z   the statistics are reset
QString play(Rig& r, const QString& script)
{
    Bytes rest;
    for (const QString& t : script.split(u' ', Qt::SkipEmptyParts)) {
        const QChar kind = t.at(0);
        const QString arg = t.mid(1);
        if (kind == u'S') {
            const int code = arg.toInt();
            if (!r.engine.SendCommand(std::uint8_t(code), std::uint16_t(requestPayloadSize(code))))
                return t + ": not sent";
        } else if (kind == u'E') {
            r.engine.ComPort1TxEmpty();
        } else if (kind == u'+') {
            r.io.now += arg.toLongLong();
        } else if (kind == u'T') {
            r.engine.TimeoutTimerTimer();
        } else if (kind == u'W') {
            r.engine.RecWatchdogTimer();
        } else if (kind == u'O') {
            r.engine.portOpened();
        } else if (kind == u'Z') {
            r.engine.resetLineStats();
        } else if (kind == u'J') {
            r.feed(Bytes(std::size_t(arg.toInt()), 0xFF));
        } else if (kind == u'R') {
            r.feed(rest);
        } else {
            const QStringList parts = arg.split(QRegularExpression(QStringLiteral("[/:+]")));
            Bytes frame = makeFrame(std::uint8_t(parts.value(0).toInt()),
                                    Bytes(std::size_t(parts.value(1).toInt()), 7));
            if (kind == u'B')
                frame.back() ^= 0x5A;
            if (kind == u'H') {
                const auto k = std::ptrdiff_t(parts.value(2).toInt());
                rest.assign(frame.begin() + k, frame.end());
                frame.resize(std::size_t(k));
            } else if (parts.size() > 2) {
                frame.insert(frame.end(), std::size_t(parts.value(2).toInt()), std::uint8_t(0xFF));
            }
            r.feed(frame);
        }
        const LineStats& st = r.engine.lineStats();
        const LineTotals& tot = st.totals();
        if (tot.bytesReceived != tot.frameBytes + tot.strayBytes + std::uint64_t(r.engine.state().Stored))
            return t + QStringLiteral(": %1 bytes received, %2 in frames, %3 dropped, %4 held")
                           .arg(tot.bytesReceived)
                           .arg(tot.frameBytes)
                           .arg(tot.strayBytes)
                           .arg(r.engine.state().Stored);
        if (tot.requests != st.exchangesEnded() + (st.awaiting() ? 1 : 0))
            return t + QStringLiteral(": %1 requests, %2 ended").arg(tot.requests).arg(st.exchangesEnded());
        if (st.awaiting() != r.engine.state().AnswerPending)
            return t + QStringLiteral(": awaiting differs from AnswerPending");
    }
    return {};
}

QList<qint64> totalsOf(const LineStats& s)
{
    const LineTotals& t = s.totals();
    return {qint64(t.requests), qint64(t.answers),    qint64(t.timeouts),  qint64(t.crcErrors),
            qint64(t.tooShort), qint64(t.lateFrames), qint64(t.abandoned), qint64(t.strayBytes)};
}

QList<qint64> timesOf(const LineStats& s, int code)
{
    const CommandCounts& c = s.command(code);
    return {qint64(c.sent),          qint64(c.answered), qint64(c.timeouts), qint64(c.crcErrors),
            qint64(c.times.count()), c.times.least(),    c.times.median(),   c.times.most()};
}

} // namespace

class TstLinkEngine : public QObject
{
    Q_OBJECT
private slots:
    void crcCheckValue()
    {
        const char* digits = "123456789";
        QCOMPARE(CalculateCRC(reinterpret_cast<const std::uint8_t*>(digits), 9), std::uint16_t(0x4B37));
    }

    void workedFrames_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<Bytes>("payload");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("Read_Net") << 3 << Bytes{} << QByteArray("03 02 00 80 A0");
        QTest::newRow("Read_Version") << 15 << Bytes{} << QByteArray("0F 02 00 40 A3");
        QTest::newRow("Read_State code 0") << 1 << Bytes{0} << QByteArray("01 03 00 00 F1 D8");
    }
    void workedFrames()
    {
        QFETCH(int, code);
        QFETCH(Bytes, payload);
        QFETCH(QByteArray, frame);
        Rig r;
        if (!payload.empty())
            std::memcpy(&r.engine.state().Txbuff[3], payload.data(), payload.size());
        QVERIFY(r.engine.SendCommand(static_cast<std::uint8_t>(code),
                                     static_cast<std::uint16_t>(payload.size())));
        QCOMPARE(hex(r.io.writes.at(0)), frame);
        QCOMPARE(hex(makeFrame(static_cast<std::uint8_t>(code), payload)), frame);
        // A frame with its own CRC behind it checks to zero.
        const Bytes& w = r.io.writes[0];
        QCOMPARE(CalculateCRC(w.data(), static_cast<std::int16_t>(w.size())), std::uint16_t(0));
    }

    void sendCommandSizes_data()
    {
        QTest::addColumn<int>("payload");
        QTest::addColumn<int>("lengthLow");
        QTest::addColumn<int>("lengthHigh");
        QTest::newRow("no payload") << 0 << 2 << 0;
        QTest::newRow("RAM3 image") << 154 << 156 << 0;
        QTest::newRow("RAM2 image") << 314 << 0x3C << 0x01;
    }
    void sendCommandSizes()
    {
        QFETCH(int, payload);
        QFETCH(int, lengthLow);
        QFETCH(int, lengthHigh);
        Rig r;
        QVERIFY(r.engine.SendCommand(7, static_cast<std::uint16_t>(payload)));
        const Bytes& w = r.io.writes.at(0);
        QCOMPARE(int(w.size()), payload + 5);
        QCOMPARE(r.engine.state().TxSize, payload + 5);
        QCOMPARE(int(w[1]), lengthLow);
        QCOMPARE(int(w[2]), lengthHigh);
        QVERIFY(r.engine.state().AnswerPending);
        QVERIFY(r.io.timeoutArmed);
        QCOMPARE(r.io.tx, LampColor::Green);
        QVERIFY(r.io.txTimer);
        r.engine.TxTimerTimer();
        QCOMPARE(r.io.tx, LampColor::White);
    }

    void sendWithoutPortChangesNothing()
    {
        Rig r;
        r.io.open = false;
        r.engine.state().RxIndex = 7;
        QVERIFY(!r.engine.SendCommand(3, 0));
        QVERIFY(!r.engine.state().AnswerPending);
        QCOMPARE(r.engine.state().RxIndex, 7);
        QVERIFY(r.io.monitor.empty());
        QCOMPARE(r.io.tx, LampColor::White);
        QVERIFY(!r.io.timeoutArmed);
    }

    void writeErrorClosesPortAndOpeningResumes()
    {
        Rig r;
        r.io.failWrites = true;
        r.engine.setFlag(Read_Net, true);
        r.engine.CommTimerTimer(); // rewinds to slot 1
        r.engine.CommTimerTimer();
        QCOMPARE(r.io.monitor.back(), std::string("Error: No communication port!\r\n"));
        QCOMPARE(r.io.closes, 1);
        QVERIFY(r.engine.state().AnswerPending);
        QVERIFY(!r.io.timeoutArmed);
        QCOMPARE(r.io.tx, LampColor::White);
        // Nothing goes out while the cut-off exchange counts as pending ...
        r.io.open = true;
        r.io.failWrites = false;
        r.engine.CommTimerTimer();
        QVERIFY(r.io.writes.empty());
        // ... until a port is opened again.
        r.engine.portOpened();
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(r.sentCodes(), std::vector<int>{Read_Net});
    }

    void monitorBlocks()
    {
        Rig r;
        r.engine.SendCommand(3, 0);
        QCOMPARE(r.io.monitor.at(0), std::string("Command: \r\n03 02 00 80 A0 "));
        // A 20-byte answer: the line break after the 20th byte puts the verdict after an empty line.
        r.feed(makeFrame(16, Bytes(15, 0x0A)));
        const std::string& block = r.io.monitor.at(1);
        QVERIFY(block.starts_with("Data received:\r\n10 11 00 0A 0A "));
        QVERIFY(block.ends_with(" \r\n\r\nCRC OK\r\n"));
        QCOMPARE(GetString(0x0A), std::string("0A "));
        QCOMPARE(hexDump(Bytes(21, 0xFF).data(), 21).substr(59), std::string(" \r\nFF "));
    }

    void splitFrameIsAssembled()
    {
        Rig r;
        r.engine.SendCommand(15, 0);
        const Bytes f = makeFrame(15, Bytes(22, 3));
        for (std::size_t i = 0; i < f.size(); ++i) {
            r.feed({f[i]});
            QCOMPARE(r.client.calls.size(), i + 1 == f.size() ? std::size_t(1) : std::size_t(0));
        }
        QCOMPARE(r.client.calls.at(0), std::string("Display_Version"));
        QVERIFY(!r.engine.state().AnswerPending);
        QCOMPARE(r.engine.state().RxIndex, 0);
        QVERIFY(r.io.watchdogRestarts >= int(f.size()));
    }

    void twoFramesInOneEvent()
    {
        Rig r;
        Bytes both = makeFrame(3, Bytes(180, 1));
        const Bytes second = makeFrame(14, Bytes(32, 2));
        both.insert(both.end(), second.begin(), second.end());
        r.feed(both);
        QCOMPARE(r.client.calls, std::vector<std::string>{"Display_Net"});
        QCOMPARE(r.engine.state().RxIndex, 0);
        // The receiver is clean for the next event.
        r.feed(second);
        QCOMPARE(r.client.calls.back(), std::string("Display_EPdata"));
    }

    void lengthLimits_data()
    {
        QTest::addColumn<int>("lengthField");
        QTest::addColumn<int>("bytesFed");
        QTest::addColumn<bool>("completes");
        QTest::newRow("length 2 completes at index 4") << 2 << 5 << true;
        QTest::newRow("length 510, 513 bytes") << 510 << 513 << true;
        QTest::newRow("length 511 never") << 511 << 600 << false;
        QTest::newRow("length 1 never") << 1 << 600 << false;
        QTest::newRow("length 0 never") << 0 << 600 << false;
        QTest::newRow("length 65535 never") << 65535 << 600 << false;
    }
    void lengthLimits()
    {
        QFETCH(int, lengthField);
        QFETCH(int, bytesFed);
        QFETCH(bool, completes);
        Rig r;
        r.engine.SendCommand(3, 0);
        Bytes f;
        if (lengthField >= 2 && lengthField <= 510) {
            f = makeFrame(3, Bytes(static_cast<std::size_t>(lengthField - 2), 0x55));
        } else {
            f = encodeRawFrame(3, lengthField, Bytes(static_cast<std::size_t>(bytesFed - kHeaderSize), 0x55),
                               false);
        }
        QCOMPARE(int(f.size()), bytesFed);
        r.feed(f);
        // A complete frame is shown with its verdict (an empty Read_Net is then too short to decode).
        const auto shown = std::count_if(r.io.monitor.begin(), r.io.monitor.end(), [](const std::string& b) {
            return b.starts_with("Data received:") && b.ends_with("CRC OK\r\n");
        });
        QCOMPARE(shown, completes ? 1 : 0);
        QCOMPARE(r.client.calls.size(), completes && lengthField >= 182 ? std::size_t(1) : std::size_t(0));
        QCOMPARE(r.engine.state().AnswerPending, !completes);
        if (!completes) {
            QCOMPARE(r.engine.state().RxIndex, 512); // clamped: the last cell is overwritten
            r.engine.TimeoutTimerTimer();
            QCOMPARE(r.io.monitor.back(), std::string("Timeout"));
            r.engine.SendCommand(3, 0);
            QCOMPARE(r.engine.state().RxIndex, 0);
        }
    }

    void badCrcShownNotDispatched()
    {
        Rig r;
        r.engine.SendCommand(3, 0);
        Bytes f = makeFrame(3, Bytes(180, 1));
        f.back() ^= 0x01;
        r.feed(f);
        QVERIFY(r.client.calls.empty());
        QVERIFY(r.io.monitor.back().ends_with("\r\nCRC NOTOK\r\n"));
        QVERIFY(!r.engine.state().AnswerPending);
        QVERIFY(!r.io.timeoutArmed);
        QCOMPARE(r.io.rx, LampColor::Green);
    }

    void timeoutAndLamps()
    {
        Rig r;
        r.engine.SendCommand(3, 0);
        r.engine.ComPort1TxEmpty();
        QCOMPARE(r.io.timeoutRestarts, 2);
        r.engine.TimeoutTimerTimer();
        QVERIFY(!r.engine.state().AnswerPending);
        QVERIFY(!r.io.timeoutArmed);
        QCOMPARE(r.io.rx, LampColor::Red);
        QCOMPARE(r.io.monitor.back(), std::string("Timeout"));
        // A transmit-empty after the exchange has ended starts no time-out of its own.
        r.engine.ComPort1TxEmpty();
        QVERIFY(!r.io.timeoutArmed);
        // The late answer still completes and is dispatched by its own code.
        r.feed(makeFrame(3, Bytes(180, 0)));
        QCOMPARE(r.client.calls.back(), std::string("Display_Net"));
        QCOMPARE(r.io.rx, LampColor::Green);
        QVERIFY(r.io.rxTimer);
        r.engine.RxTimerTimer();
        QCOMPARE(r.io.rx, LampColor::White);
    }

    void watchdogRewindsOnlyWhenIdle()
    {
        Rig r;
        r.feed({0x99, 0x98});
        QCOMPARE(r.engine.state().RxIndex, 2);
        r.engine.RecWatchdogTimer();
        QCOMPARE(r.engine.state().RxIndex, 0);
        r.engine.SendCommand(3, 0);
        r.feed({0x03});
        r.engine.RecWatchdogTimer();
        QCOMPARE(r.engine.state().RxIndex, 1);
    }

    void readFailureClosesPort()
    {
        Rig r;
        r.engine.SendCommand(3, 0);
        r.engine.readFailed();
        QCOMPARE(r.io.monitor.back(), std::string("Error: No communication port!\r\n"));
        QVERIFY(!r.io.open);
        QVERIFY(r.io.timeoutArmed); // the armed time-out ends the exchange
    }

    void busyTickIsLost()
    {
        Rig r;
        r.engine.setFlag(Read_Net, true);
        r.engine.setFlag(Read_EPdata, true);
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(r.sentCodes(), std::vector<int>{3});
        r.engine.CommTimerTimer(); // answer still awaited
        QCOMPARE(r.sentCodes(), std::vector<int>{3});
        r.engine.TimeoutTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(r.sentCodes(), (std::vector<int>{3, 14}));
        // A lost one-shot goes out again in the next cycle.
        r.engine.setFlag(Read_Version, true);
        r.engine.TimeoutTimerTimer();
        r.engine.CommTimerTimer(); // Read_Version
        r.engine.TimeoutTimerTimer();
        r.engine.CommTimerTimer(); // rewind
        r.engine.CommTimerTimer(); // Read_Net
        r.engine.TimeoutTimerTimer();
        r.engine.CommTimerTimer(); // Read_EPdata
        r.engine.TimeoutTimerTimer();
        r.engine.CommTimerTimer(); // Read_Version again
        QCOMPARE(r.sentCodes(), (std::vector<int>{3, 14, 15, 3, 14, 15}));
    }

    /// Fast refresh, event by event: the end of every exchange (an answer good or bad, a time-out)
    /// and a flag set while the line is idle ask for a turn; a turn sends the next flagged request
    /// in slot order, even when it has to wrap round the slots; nothing goes while an answer is
    /// pending; with fast refresh off nothing asks for a turn.
    void fastRefresh_data()
    {
        QTest::addColumn<bool>("fast");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("turnsAfter");
        QTest::addColumn<std::vector<int>>("sent");
        QTest::newRow("good answer") << true << "answer" << 1 << std::vector<int>{Read_Net, Read_Version};
        QTest::newRow("bad CRC") << true << "crc" << 1 << std::vector<int>{Read_Net, Read_Version};
        QTest::newRow("time-out") << true << "timeout" << 1 << std::vector<int>{Read_Net, Read_Version};
        QTest::newRow("off: the tick decides") << false << "answer" << 0 << std::vector<int>{Read_Net};
    }
    void fastRefresh()
    {
        QFETCH(bool, fast);
        QFETCH(QString, ending);
        QFETCH(int, turnsAfter);
        QFETCH(std::vector<int>, sent);
        Rig r;
        r.engine.setFastRefresh(fast);
        r.engine.setFlag(Read_Net, true);
        r.engine.setFlag(Read_Version, true);
        const int idleTurns = r.io.turns; // flags set while idle
        QCOMPARE(idleTurns, fast ? 3 : 0);
        r.engine.CommTimerTimer(); // the first tick after start only wraps to slot 1
        r.engine.CommTimerTimer();
        QCOMPARE(r.sentCodes(), std::vector<int>{Read_Net});
        // While the answer is pending: no turn asked for, and a turn taken sends nothing.
        r.engine.setFlag(Read_Harmonics, true);
        r.engine.setFlag(Read_Harmonics, false);
        r.engine.fastTurn();
        QCOMPARE(r.io.turns, idleTurns);
        QCOMPARE(r.sentCodes(), std::vector<int>{Read_Net});
        if (ending == QLatin1String("answer"))
            r.feed(makeFrame(Read_Net, Bytes(net::kSize, 0)));
        else if (ending == QLatin1String("crc")) {
            Bytes frame = makeFrame(Read_Net, Bytes(net::kSize, 0));
            frame.back() ^= 0xFF;
            r.feed(frame);
        } else
            r.engine.TimeoutTimerTimer();
        QCOMPARE(r.io.turns - idleTurns, turnsAfter);
        if (turnsAfter)
            r.engine.fastTurn();
        QCOMPARE(r.sentCodes(), sent);
    }

    /// A turn at the end of the slots wraps round and sends the first flagged request from slot 1.
    void fastTurnWrapsRound()
    {
        Rig r;
        r.engine.setFastRefresh(true);
        r.engine.setFlag(Read_Version, true); // slot 15, the last but one
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(r.sentCodes(), std::vector<int>{Read_Version});
        r.feed(makeFrame(Read_Version, Bytes(version::kSize, 0)));
        r.engine.fastTurn();
        QCOMPARE(r.sentCodes(), (std::vector<int>{Read_Version, Read_Version}));
    }

    void scanAndSendButton()
    {
        Rig r;
        r.engine.ScanClick(false);
        r.engine.setFlag(Read_Net, true);
        r.engine.setFlag(Read_Harmonics, true);
        for (int i = 0; i < 5; ++i)
            r.engine.CommTimerTimer();
        QVERIFY(r.io.writes.empty());
        r.engine.state().CommandSlot = 9;
        r.engine.SendbuttonClick();
        r.tickAnswered(5);
        QCOMPARE(r.sentCodes(), std::vector<int>{3}); // exactly one, from slot 1
        r.engine.ScanClick(true);
        r.tickAnswered(2);
        QCOMPARE(r.sentCodes(), (std::vector<int>{3, 16}));
    }

    void lineStatistics_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        // requests, answers, time-outs, CRC errors, too short, late frames, abandoned, stray bytes
        QTest::addColumn<QList<qint64>>("totals");
        // of `code`: sent, answered, time-outs, CRC errors, times taken, least, median, most (us)
        QTest::addColumn<QList<qint64>>("times");
        using L = QList<qint64>;
        QTest::newRow("timed from the transmit-empty")
            << "S3 +900 E +21000 A3/180" << 3 << L{1, 1, 0, 0, 0, 0, 0, 0}
            << L{1, 1, 0, 0, 1, 21000, 21000, 21000};
        QTest::newRow("timed from the write without one")
            << "S3 +15000 A3/180" << 3 << L{1, 1, 0, 0, 0, 0, 0, 0} << L{1, 1, 0, 0, 1, 15000, 15000, 15000};
        QTest::newRow("least, median, most")
            << "S3 E +1000 A3/180 S3 E +3000 A3/180 S3 E +2000 A3/180 S3 E +9000 A3/180" << 3
            << L{4, 4, 0, 0, 0, 0, 0, 0} << L{4, 4, 0, 0, 4, 1000, 3000, 9000};
        QTest::newRow("time-out, then the answer late")
            << "S3 E +300000 T +100000 A3/180" << 3 << L{1, 1, 1, 0, 0, 1, 0, 0} << L{1, 0, 1, 0, 0, 0, 0, 0};
        QTest::newRow("broken CRC") << "S3 E +5000 B3/180" << 3 << L{1, 0, 0, 1, 0, 0, 0, 0}
                                    << L{1, 0, 0, 1, 0, 0, 0, 0};
        QTest::newRow("too short for its record")
            << "S6 E +4000 A6/10" << 6 << L{1, 0, 0, 0, 1, 0, 0, 0} << L{1, 0, 0, 0, 1, 4000, 4000, 4000};
        QTest::newRow("an answer of another code is not timed")
            << "S3 E +4000 A6/314" << 3 << L{1, 1, 0, 0, 0, 0, 0, 0} << L{1, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("bytes behind a frame in its read")
            << "S3 E A3/180+4" << 3 << L{1, 1, 0, 0, 0, 0, 0, 4} << L{1, 1, 0, 0, 1, 0, 0, 0};
        QTest::newRow("watchdog with nothing awaited")
            << "J5 W J2" << 3 << L{0, 0, 0, 0, 0, 0, 0, 5} << L{0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("watchdog keeps an answer under way")
            << "S3 E +1000 H3/180:10 W +2000 R" << 3 << L{1, 1, 0, 0, 0, 0, 0, 0}
            << L{1, 1, 0, 0, 1, 3000, 3000, 3000};
        QTest::newRow("a request rewinds what came before")
            << "J7 S3 E A3/180" << 3 << L{1, 1, 0, 0, 0, 0, 0, 7} << L{1, 1, 0, 0, 1, 0, 0, 0};
        QTest::newRow("a time-out's half answer, dropped by the next request")
            << "S3 E T H3/180:50 S3" << 3 << L{2, 0, 1, 0, 0, 0, 0, 50} << L{2, 0, 1, 0, 0, 0, 0, 0};
        QTest::newRow("frame too long for the buffer")
            << "S3 E J600 T S3" << 3 << L{2, 0, 1, 0, 0, 0, 0, 600} << L{2, 0, 1, 0, 0, 0, 0, 0};
        QTest::newRow("port opened under an exchange")
            << "S3 E J3 O S8 E A8/154" << 8 << L{2, 1, 0, 0, 0, 0, 1, 3} << L{1, 1, 0, 0, 1, 0, 0, 0};
        QTest::newRow("write acknowledgement timed")
            << "S7 E +40000 A7/0" << 7 << L{1, 1, 0, 0, 0, 0, 0, 0} << L{1, 1, 0, 0, 1, 40000, 40000, 40000};
    }
    void lineStatistics()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(QList<qint64>, totals);
        QFETCH(QList<qint64>, times);
        Rig r;
        r.io.now = 1'000'000;
        QCOMPARE(play(r, script), QString());
        QCOMPARE(totalsOf(r.engine.lineStats()), totals);
        QCOMPARE(timesOf(r.engine.lineStats(), code), times);
    }

    void answerTimesKeepTheLastSamples()
    {
        AnswerTimes t;
        QCOMPARE(t.median(), std::int64_t(0));
        // Four slow answers long ago, then a full window of fast ones: the median forgets the slow
        // ones, the most does not.
        for (int i = 0; i < 4; ++i)
            t.add(250000);
        for (int i = 0; i < AnswerTimes::kSamples; ++i)
            t.add(10000 + (i % 2) * 1000);
        QCOMPARE(t.count(), std::uint64_t(AnswerTimes::kSamples + 4));
        QCOMPARE(t.least(), std::int64_t(10000));
        QCOMPARE(t.median(), std::int64_t(11000));
        QCOMPARE(t.most(), std::int64_t(250000));
        t.add(-5); // a clock that stepped back
        QCOMPARE(t.least(), std::int64_t(0));
    }

    void resetKeepsTheExchangeUnderWay()
    {
        Rig r;
        // The request awaited and the bytes held at the reset belong to the new period.
        QCOMPARE(play(r, "S3 E A3/180 S3 E T S8 E H8/154:20 Z"), QString());
        QCOMPARE(totalsOf(r.engine.lineStats()), (QList<qint64>{1, 0, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(r.engine.lineStats().totals().bytesReceived, std::uint64_t(20));
        QCOMPARE(play(r, "S8 E H8/154:20 Z +7000 R"), QString());
        QCOMPARE(totalsOf(r.engine.lineStats()), (QList<qint64>{1, 1, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(timesOf(r.engine.lineStats(), 8), (QList<qint64>{1, 1, 0, 0, 1, 7000, 7000, 7000}));
        QCOMPARE(timesOf(r.engine.lineStats(), 3), (QList<qint64>{0, 0, 0, 0, 0, 0, 0, 0}));
    }

    void openingAPortForgetsTheTimeout()
    {
        Rig r;
        QCOMPARE(play(r, "S3 E"), QString());
        QVERIFY(r.io.timeoutArmed);
        r.engine.portOpened();
        QVERIFY(!r.io.timeoutArmed);
    }

    void naturalPortOrder_data()
    {
        QTest::addColumn<QStringList>("in");
        QTest::addColumn<QStringList>("out");
        QTest::newRow("ttyS") << QStringList{"ttyS10", "ttyS2", "ttyS1"}
                              << QStringList{"ttyS1", "ttyS2", "ttyS10"};
        QTest::newRow("mixed") << QStringList{"ttyUSB0", "ttyACM1", "ttyS0", "ttyACM0"}
                               << QStringList{"ttyACM0", "ttyACM1", "ttyS0", "ttyUSB0"};
        QTest::newRow("COM") << QStringList{"COM10", "COM9", "COM1"} << QStringList{"COM1", "COM9", "COM10"};
        QTest::newRow("prefix") << QStringList{"ttyS1x", "ttyS1"} << QStringList{"ttyS1", "ttyS1x"};
        QTest::newRow("leading zero") << QStringList{"ttyS010", "ttyS9"} << QStringList{"ttyS9", "ttyS010"};
        QTest::newRow("paths") << QStringList{"/dev/pts/10", "/dev/pts/3", "/dev/pts/0"}
                               << QStringList{"/dev/pts/0", "/dev/pts/3", "/dev/pts/10"};
    }
    void naturalPortOrder()
    {
        QFETCH(QStringList, in);
        QFETCH(QStringList, out);
        QCOMPARE(kvam::naturalPortOrder(in), out);
        const QString ask = kvam::currentText("Portsbox.Network");
        const QStringList head = QStringList{"SELECT COM PORT"} + out + QStringList{"DEMO"};
        QCOMPARE(portListEntries(in), head + QStringList{ask});
        // The addresses used last stand after the demo meter, in the order given, before the entry
        // that asks for a new one.
        const QStringList recent{"tcp://10.0.0.7:4001", "rfc2217://[::1]:2217"};
        QCOMPARE(portListEntries(in, recent), head + recent + QStringList{ask});
    }

    // What a user may type as a network port, and what the tool makes of it: the canonical name,
    // or the text key of the refusal.
    void networkAddresses_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("raw IPv4") << "tcp://127.0.0.1:20001"
                                  << "tcp://127.0.0.1:20001"
                                  << "";
        QTest::newRow("rfc2217 name") << "rfc2217://ser2net-box.local:2000"
                                      << "rfc2217://ser2net-box.local:2000"
                                      << "";
        QTest::newRow("scheme in capitals") << "TCP://host:1"
                                            << "tcp://host:1"
                                            << "";
        QTest::newRow("IPv6 literal") << "tcp://[::1]:20001"
                                      << "tcp://[::1]:20001"
                                      << "";
        QTest::newRow("IPv6 full") << "rfc2217://[fe80::1:2]:65535"
                                   << "rfc2217://[fe80::1:2]:65535"
                                   << "";
        QTest::newRow("highest port") << "tcp://h:65535"
                                      << "tcp://h:65535"
                                      << "";
        QTest::newRow("port 0") << "tcp://h:0"
                                << ""
                                << "Network.BadPortNumber";
        QTest::newRow("port too high") << "tcp://h:65536"
                                       << ""
                                       << "Network.BadPortNumber";
        QTest::newRow("port far too high") << "tcp://h:99999"
                                           << ""
                                           << "Network.BadPortNumber";
        QTest::newRow("port with sign") << "tcp://h:+80"
                                        << ""
                                        << "Network.BadPortNumber";
        QTest::newRow("port six digits") << "tcp://h:000080"
                                         << ""
                                         << "Network.BadPortNumber";
        QTest::newRow("no port") << "tcp://host"
                                 << ""
                                 << "Network.BadAddress";
        QTest::newRow("empty port") << "tcp://host:"
                                    << ""
                                    << "Network.BadAddress";
        QTest::newRow("no host") << "tcp://:20001"
                                 << ""
                                 << "Network.BadAddress";
        QTest::newRow("bare IPv6") << "tcp://::1:20001"
                                   << ""
                                   << "Network.BadAddress";
        QTest::newRow("IPv4 in brackets") << "tcp://[127.0.0.1]:1"
                                          << ""
                                          << "Network.BadAddress";
        QTest::newRow("unclosed bracket") << "tcp://[::1:20001"
                                          << ""
                                          << "Network.BadAddress";
        QTest::newRow("path after port") << "tcp://host:20/x"
                                         << ""
                                         << "Network.BadPortNumber";
        QTest::newRow("blank in host") << "tcp://my host:1"
                                       << ""
                                       << "Network.BadAddress";
        QTest::newRow("user part") << "tcp://user@host:1"
                                   << ""
                                   << "Network.BadAddress";
        QTest::newRow("other scheme") << "udp://host:1"
                                      << ""
                                      << "Network.BadAddress";
    }
    void networkAddresses()
    {
        QFETCH(QString, given);
        QFETCH(QString, name);
        QFETCH(QString, refusal);
        QString error;
        const std::optional<kvam::NetworkAddress> a = kvam::parseNetworkAddress(given, &error);
        QCOMPARE(a.has_value(), refusal.isEmpty());
        if (a) {
            QCOMPARE(a->name(), name);
            QVERIFY(error.isEmpty());
            // The canonical name reads back as the same address.
            const std::optional<kvam::NetworkAddress> again = kvam::parseNetworkAddress(a->name());
            QVERIFY(again && again->host == a->host && again->port == a->port &&
                    again->rfc2217 == a->rfc2217);
        } else {
            QCOMPARE(error, kvam::currentText(refusal.toLatin1().constData()).arg(given));
        }
    }
};

QTEST_GUILESS_MAIN(TstLinkEngine)
#include "tst_link_engine.moc"
