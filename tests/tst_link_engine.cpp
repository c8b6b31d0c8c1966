// The protocol engine driven event by event: frames, receiver limits, time-outs and lamps, the
// scheduler's cycle and the dispatcher's flag rules. No timers, no sleeps.

#include "app/MainPages.h"
#include "link/HexDump.h"
#include "link/PortNames.h"
#include "protocol/Crc.h"
#include "tests/LinkFakes.h"

#include <QTest>

#include <algorithm>
#include <cstring>

using namespace kvam;
using namespace kvam::test;

Q_DECLARE_METATYPE(kvam::test::Bytes)

namespace {

// What the main window's page table has the page poll.
PagePolls pagePolls(const char* objectName)
{
    const MainPage* page = findMainPage(objectName);
    if (!page)
        qFatal("no page %s", objectName);
    return page->polls;
}

struct Rig
{
    FakeIo io;
    FakeClient client;
    DeviceMemory memory;
    LinkEngine engine{io, client, memory};

    void feed(const Bytes& b) { engine.ComPort1RxChar(b.data(), static_cast<int>(b.size())); }
    std::vector<int> sentCodes() const
    {
        std::vector<int> codes;
        for (const Bytes& w : io.writes)
            codes.push_back(w[0]);
        return codes;
    }
    /// Ticks, answering every request at once with an empty answer of its own code.
    void tickAnswered(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            const auto before = io.writes.size();
            engine.CommTimerTimer();
            if (io.writes.size() != before)
                feed(makeFrame(io.writes.back()[0], {}));
        }
    }
};

QByteArray hex(const Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()))
        .toHex(' ')
        .toUpper();
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

    void schedulerCycle_data()
    {
        QTest::addColumn<std::vector<int>>("flags");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<std::vector<int>>("sentPerTick"); // 0 = nothing sent in that tick
        QTest::newRow("all clear") << std::vector<int>{} << 4 << std::vector<int>{0, 0, 0, 0};
        QTest::newRow("only Read_Net: every second tick")
            << std::vector<int>{3} << 6 << std::vector<int>{0, 3, 0, 3, 0, 3};
        QTest::newRow("start-up reads")
            << std::vector<int>{6, 8, 15} << 7 << std::vector<int>{0, 6, 8, 15, 0, 0, 0};
        QTest::newRow("measurement polls")
            << std::vector<int>{1, 3, 4, 14} << 6 << std::vector<int>{0, 1, 3, 4, 14, 0};
    }
    void schedulerCycle()
    {
        QFETCH(std::vector<int>, flags);
        QFETCH(int, ticks);
        QFETCH(std::vector<int>, sentPerTick);
        Rig r;
        for (int f : flags)
            r.engine.setFlag(f, true);
        std::vector<int> got;
        for (int i = 0; i < ticks; ++i) {
            const auto before = r.io.writes.size();
            r.engine.CommTimerTimer();
            if (r.io.writes.size() == before) {
                got.push_back(0);
                continue;
            }
            const int code = r.io.writes.back()[0];
            got.push_back(code);
            // The one-shot reads are cleared by their answers, polls stay.
            Bytes payload(code == 6 ? 314 : code == 8 ? 154 : 22, 0);
            if (code == 15)
                payload[0] = 3;
            r.feed(makeFrame(static_cast<std::uint8_t>(code), payload));
        }
        QCOMPARE(got, sentPerTick);
        QCOMPARE(r.engine.state().CommandSlot >= 1, true);
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

    void payloads()
    {
        Rig r;
        r.engine.state().ServiceCode = 2;
        r.client.harmChannel = 4;
        r.client.antest = 12.5f;
        r.engine.state().DigoutByte = 3;
        r.engine.state().DAcalCode = 0x12;
        r.memory.ram2[0] = 0xAB;
        r.memory.ram2[313] = 0xCD;
        for (int code : {1, 2, 7, 11, 12, 13, 14, 16})
            r.engine.setFlag(code, true);
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer(); // Read_State
        r.engine.TimeoutTimerTimer();
        QCOMPARE(int(r.io.writes.back()[3]), 2);
        QCOMPARE(int(r.engine.state().ServiceCode), 0);
        // The RAM2 image is copied when the request goes out: an edit before then travels too.
        r.memory.ram2[1] = 0xEF;
        r.tickAnswered(7);
        const auto& w = r.io.writes;
        QCOMPARE(r.sentCodes(), (std::vector<int>{1, 2, 7, 11, 12, 13, 14, 16}));
        QCOMPARE(int(w[1].size()), 6);
        QCOMPARE(int(w[1][3]), 0);
        QCOMPARE(int(w[2].size()), 319);
        QCOMPARE(int(w[2][3]), 0xAB);
        QCOMPARE(int(w[2][4]), 0xEF);
        QCOMPARE(int(w[2][316]), 0xCD);
        QCOMPARE(int(w[3][3]), 3);
        QCOMPARE(int(w[4][3]), 0x12);
        float v = 0;
        std::memcpy(&v, &w[5][3], 4);
        QCOMPARE(v, 12.5f);
        QCOMPARE(int(w[5].size()), 9);
        QCOMPARE(int(w[6][3]), 0);
        QCOMPARE(int(w[7][3]), 4);
        QCOMPARE(int(r.engine.state().HarmChannel), 4);
    }

    // The scheduler builds each request itself; what it sends must be what the command table (and
    // so the meter) expects, and an acknowledged write flags the table's read-back.
    void requestsFollowTheCommandTable_data()
    {
        QTest::addColumn<int>("code");
        for (const CommandInfo& c : commandTable())
            QTest::newRow(c.name) << int(c.code);
    }
    void requestsFollowTheCommandTable()
    {
        QFETCH(int, code);
        const CommandInfo& c = *commandInfo(code);
        Rig r;
        r.engine.setFlag(code, true);
        r.engine.CommTimerTimer(); // rewinds to slot 1
        r.engine.CommTimerTimer();
        QCOMPARE(r.sentCodes(), std::vector<int>{code});
        const Bytes& w = r.io.writes.at(0);
        QCOMPARE(int(w.size()), frameSizeFor(lengthFieldFor(c.requestSize)));
        QCOMPARE(int(lengthFieldOf(w.data())), lengthFieldFor(c.requestSize));

        r.feed(makeFrame(static_cast<std::uint8_t>(code), Bytes(std::size_t(c.answerRecordSize), 0)));
        if (c.readBack != 0)
            QVERIFY(r.engine.flag(c.readBack));
        QVERIFY(!r.engine.state().AnswerPending);
    }

    void serviceCodeWaitsForAPort()
    {
        Rig r;
        r.io.open = false;
        r.engine.state().ServiceCode = 2;
        r.engine.setFlag(Read_State, true);
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(int(r.engine.state().ServiceCode), 2);
        QVERIFY(r.engine.flag(Read_State));
        r.io.open = true;
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(int(r.io.writes.at(0)[3]), 2);
        QCOMPARE(int(r.engine.state().ServiceCode), 0);
    }

    void pageChange_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<std::vector<int>>("polls");
        QTest::newRow("Meres") << QStringLiteral("TabSheet_Meres") << std::vector<int>{1, 3, 4, 6, 8, 14, 15};
        QTest::newRow("Phasor") << QStringLiteral("TabSheet_Phasor") << std::vector<int>{3, 6, 8};
        QTest::newRow("Harmonics") << QStringLiteral("TabSheet_Harmonics") << std::vector<int>{6, 8, 16};
        QTest::newRow("Errors") << QStringLiteral("TabSheet_Errors") << std::vector<int>{1, 6, 8};
        QTest::newRow("Calib") << QStringLiteral("TabSheet_Calib") << std::vector<int>{6, 8, 10};
        QTest::newRow("FactorySettings")
            << QStringLiteral("TabSheet_FactorySettings") << std::vector<int>{6, 8};
        QTest::newRow("Config") << QStringLiteral("TabSheet_Config") << std::vector<int>{6, 8};
    }
    void pageChange()
    {
        QFETCH(QString, page);
        QFETCH(std::vector<int>, polls);
        Rig r;
        r.engine.CoolPageControl1Change(pagePolls("TabSheet_Meres")); // something to replace
        r.engine.setFlag(Read_RAM2, false);
        r.engine.setFlag(Read_RAM3, false);
        r.engine.CoolPageControl1Change(pagePolls(page.toLatin1().constData()));
        std::vector<int> set;
        for (int k = 1; k <= 16; ++k)
            if (r.engine.flag(k))
                set.push_back(k);
        QCOMPARE(set, polls);
        // The communication page keeps what the page left behind polled.
        r.engine.CoolPageControl1Change(pagePolls("TabSheet_Comm"));
        std::vector<int> after;
        for (int k = 1; k <= 16; ++k)
            if (r.engine.flag(k))
                after.push_back(k);
        QCOMPARE(after, polls);
    }

    void pageChangeWithLoadedSettingsKeepsRam()
    {
        Rig r;
        r.engine.state().SettingsLoaded = true;
        r.engine.CoolPageControl1Change(pagePolls("TabSheet_Meres"));
        QVERIFY(!r.engine.flag(Read_RAM2));
        QVERIFY(!r.engine.flag(Read_RAM3));
    }

    void dispatch_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<std::vector<int>>("flagsBefore");
        QTest::addColumn<bool>("factoryPage");
        QTest::addColumn<bool>("settingsLoaded");
        QTest::addColumn<std::vector<int>>("flagsAfter");
        QTest::addColumn<QString>("call");
        using V = std::vector<int>;
        QTest::newRow("0 nothing") << 0 << V{3} << false << false << V{3} << "";
        QTest::newRow("1 polled") << 1 << V{1} << false << false << V{1} << "Display_State";
        QTest::newRow("1 factory page") << 1 << V{1} << true << false << V{6, 8} << "Display_State";
        QTest::newRow("1 factory page, settings loaded")
            << 1 << V{1} << true << true << V{} << "Display_State";
        QTest::newRow("2 nothing") << 2 << V{2} << false << false << V{2} << "";
        QTest::newRow("3") << 3 << V{3} << false << false << V{3} << "Display_Net";
        QTest::newRow("4") << 4 << V{4} << false << false << V{4} << "Display_RAM1";
        QTest::newRow("5") << 5 << V{5} << false << false << V{} << "";
        QTest::newRow("6") << 6 << V{6} << false << false << V{} << "Display_RAM2";
        QTest::newRow("6 while its write is pending") << 6 << V{6, 7} << false << false << V{7} << "";
        QTest::newRow("6 withdrawn by a settings load") << 6 << V{} << false << true << V{} << "";
        QTest::newRow("6 unasked") << 6 << V{} << false << false << V{} << "Display_RAM2";
        QTest::newRow("8 while its write is pending") << 8 << V{8, 9} << false << false << V{9} << "";
        QTest::newRow("8 withdrawn by a settings load") << 8 << V{} << false << true << V{} << "";
        QTest::newRow("8 asked after a settings load") << 8 << V{8} << false << true << V{} << "Display_RAM3";
        QTest::newRow("7 unsolicited") << 7 << V{} << false << false << V{6} << "";
        QTest::newRow("7") << 7 << V{7} << false << false << V{6} << "";
        QTest::newRow("8") << 8 << V{8} << false << false << V{} << "Display_RAM3";
        QTest::newRow("9") << 9 << V{9} << false << false << V{8} << "";
        QTest::newRow("10") << 10 << V{10} << false << false << V{10} << "Display_Caldat";
        QTest::newRow("11") << 11 << V{11} << false << false << V{} << "";
        QTest::newRow("12") << 12 << V{12} << false << false << V{} << "";
        QTest::newRow("13") << 13 << V{13} << false << false << V{} << "";
        QTest::newRow("14") << 14 << V{14} << false << false << V{14} << "Display_EPdata";
        QTest::newRow("15") << 15 << V{15} << false << false << V{} << "Display_Version";
        QTest::newRow("16") << 16 << V{16} << false << false << V{16} << "Display_Harmonics";
        QTest::newRow("17 ignored") << 17 << V{3} << false << false << V{3} << "";
        QTest::newRow("255 ignored") << 255 << V{3} << false << false << V{3} << "";
    }
    void dispatch()
    {
        QFETCH(int, code);
        QFETCH(std::vector<int>, flagsBefore);
        QFETCH(bool, factoryPage);
        QFETCH(bool, settingsLoaded);
        QFETCH(std::vector<int>, flagsAfter);
        QFETCH(QString, call);
        Rig r;
        r.engine.CoolPageControl1Change(PagePolls::keepingPrevious().rereadingConfigOnState(factoryPage));
        r.engine.state().SettingsLoaded = settingsLoaded;
        for (int f : flagsBefore)
            r.engine.setFlag(f, true);
        // At least a whole record, so every answer is decoded; the length rule is answerLengths'.
        const auto size = static_cast<std::size_t>(std::max(16, answerRecordSize(code)));
        r.feed(makeFrame(static_cast<std::uint8_t>(code), Bytes(size, 0x21)));
        std::vector<int> after;
        for (int k = 1; k <= 16; ++k)
            if (r.engine.flag(k))
                after.push_back(k);
        QCOMPARE(after, flagsAfter);
        QCOMPARE(r.client.calls.empty() ? QString() : QString::fromStdString(r.client.calls.at(0)), call);
        QVERIFY(r.io.monitor.back().ends_with("CRC OK\r\n")); // every good frame is shown
    }

    void answerLengths_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("payload");
        QTest::addColumn<bool>("factoryPage");
        QTest::addColumn<std::vector<int>>("flagsAfter");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("shortLine");
        using V = std::vector<int>;
        struct Answer
        {
            int code;
            const char* name;
            int size;
            bool oneShot;
            const char* call;
        };
        const Answer answers[] = {
            {1, "Read_State", 16, false, "Display_State"},
            {3, "Read_Net", 180, false, "Display_Net"},
            {4, "Read_RAM1", 212, false, "Display_RAM1"},
            {6, "Read_RAM2", 314, true, "Display_RAM2"},
            {8, "Read_RAM3", 154, true, "Display_RAM3"},
            {10, "Read_Caldata", 48, false, "Display_Caldat"},
            {14, "Read_EPdata", 32, false, "Display_EPdata"},
            {15, "Read_Version", 22, true, "Display_Version"},
            {16, "Read_Harmonics", 45, false, "Display_Harmonics"},
        };
        const QString tooShort = QStringLiteral("Answer too short for its record: %1 of %2 bytes\r\n");
        auto row = [](const char* name, const char* what) -> QTestData& {
            return QTest::newRow(
                qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(name), QLatin1String(what))));
        };
        for (const Answer& a : answers) {
            const V own{a.code};
            const V decoded = a.oneShot ? V{} : own;
            row(a.name, "empty") << a.code << 0 << false << own << "" << tooShort.arg(0).arg(a.size);
            row(a.name, "one byte short")
                << a.code << a.size - 1 << false << own << "" << tooShort.arg(a.size - 1).arg(a.size);
            row(a.name, "exact") << a.code << a.size << false << decoded << a.call << "";
            row(a.name, "one byte longer") << a.code << a.size + 1 << false << decoded << a.call << "";
        }
        // On the factory-settings page a short state answer neither ends the request nor re-reads RAM.
        row("Read_State", "short, factory page") << 1 << 15 << true << V{1} << "" << tooShort.arg(15).arg(16);
        row("Read_State", "exact, factory page") << 1 << 16 << true << V{6, 8} << "Display_State"
                                                 << "";
        // Acknowledgements count whatever their payload.
        const struct
        {
            int code;
            const char* name;
            V after;
        } acks[] = {{5, "Write_RAM1", {}},    {7, "Write_RAM2", {6}},    {9, "Write_RAM3", {8}},
                    {11, "Write_Digout", {}}, {12, "Write_DAcalib", {}}, {13, "Write_DAtest", {}}};
        for (const auto& a : acks) {
            row(a.name, "ack, empty") << a.code << 0 << false << a.after << ""
                                      << "";
            row(a.name, "ack, one byte") << a.code << 1 << false << a.after << ""
                                         << "";
        }
    }
    void answerLengths()
    {
        QFETCH(int, code);
        QFETCH(int, payload);
        QFETCH(bool, factoryPage);
        QFETCH(std::vector<int>, flagsAfter);
        QFETCH(QString, call);
        QFETCH(QString, shortLine);
        Rig r;
        r.engine.CoolPageControl1Change(PagePolls::keepingPrevious().rereadingConfigOnState(factoryPage));
        r.memory.ram2.fill(0x11);
        r.engine.setFlag(code, true);
        r.engine.CommTimerTimer(); // rewinds to slot 1
        r.engine.CommTimerTimer();
        QCOMPARE(r.sentCodes(), std::vector<int>{code});
        // The bytes of older frames still stand in the buffer behind a short answer.
        r.engine.state().Rxbuff.fill(0xEE);
        r.feed(makeFrame(static_cast<std::uint8_t>(code), Bytes(static_cast<std::size_t>(payload), 0x55)));

        std::vector<int> after;
        for (int k = 1; k <= 16; ++k)
            if (r.engine.flag(k))
                after.push_back(k);
        QCOMPARE(after, flagsAfter);
        QCOMPARE(r.client.calls,
                 call.isEmpty() ? std::vector<std::string>{} : std::vector<std::string>{call.toStdString()});
        if (!call.isEmpty() && code != Read_RAM2) {
            // Decoded from the answer's own bytes.
            const auto own = static_cast<std::size_t>(std::min(payload, 48));
            QCOMPARE(
                Bytes(r.client.lastPayload.begin(), r.client.lastPayload.begin() + static_cast<long>(own)),
                Bytes(own, 0x55));
        }
        const bool ram2Taken = code == Read_RAM2 && !call.isEmpty();
        QVERIFY(std::all_of(r.memory.ram2.data(), r.memory.ram2.data() + ram2::kSize,
                            [&](std::uint8_t b) { return b == (ram2Taken ? 0x55 : 0x11); }));

        const std::string verdictBlock =
            shortLine.isEmpty() ? r.io.monitor.back() : r.io.monitor.at(r.io.monitor.size() - 2);
        QVERIFY(verdictBlock.starts_with("Data received:\r\n"));
        QVERIFY(verdictBlock.ends_with("CRC OK\r\n"));
        if (!shortLine.isEmpty())
            QCOMPARE(QString::fromStdString(r.io.monitor.back()), shortLine);
        QVERIFY(!r.engine.state().AnswerPending);

        // Whatever is still flagged is asked for in the next cycle; a request that was answered in
        // full is not.
        r.io.writes.clear();
        for (int i = 0; i < 20 && r.io.writes.empty(); ++i)
            r.engine.CommTimerTimer();
        if (flagsAfter.empty())
            QVERIFY(r.io.writes.empty());
        else
            QCOMPARE(r.sentCodes(), std::vector<int>{flagsAfter.front()});
    }

    void ram2AnswerKeepsAPendingWrite()
    {
        Rig r;
        r.memory.ram2.fill(0x5A); // what the user packed
        r.engine.setFlag(Write_RAM2, true);
        r.engine.setFlag(Read_RAM2, true);
        r.feed(makeFrame(6, Bytes(314, 0x11)));
        decltype(r.memory.ram2) packed;
        packed.fill(0x5A);
        QVERIFY(r.memory.ram2 == packed);
        // The write still goes out with the packed image (the first tick only turns the cycle).
        for (int i = 0; i < 3 && r.io.writes.empty(); ++i)
            r.engine.CommTimerTimer();
        QVERIFY(!r.io.writes.empty());
        QCOMPARE(r.io.writes.back()[0], std::uint8_t(Write_RAM2));
        QCOMPARE(r.io.writes.back()[3], std::uint8_t(0x5A));
    }

    void ram2AnswerFillsImage()
    {
        Rig r;
        Bytes payload(314);
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<std::uint8_t>(i * 7);
        r.feed(makeFrame(6, payload));
        QVERIFY(std::memcmp(r.memory.ram2.data(), payload.data(), 314) == 0);
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
    }
    void naturalPortOrder()
    {
        QFETCH(QStringList, in);
        QFETCH(QStringList, out);
        QCOMPARE(kvam::naturalPortOrder(in), out);
        QCOMPARE(portListEntries(in), QStringList{"SELECT COM PORT"} + out + QStringList{"DEMO"});
    }
};

QTEST_GUILESS_MAIN(TstLinkEngine)
#include "tst_link_engine.moc"
