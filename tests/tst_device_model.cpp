// The device model's rules, driven through the real engine with a fake port: request values and
// when they are spent, page polls, what each answer does to the flags and the images (the pending
// write, the withdrawn read, the read-back, short answers), the firmware refusal, and the code each
// service button sends. No window.

#include "app/MainPages.h"
#include "config/ConfigFiles.h"
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "config/TSectionForm.h"
#include "device/DeviceModel.h"
#include "platform/UserPrompts.h"
#include "protocol/Frame.h"
#include "protocol/ServiceCodes.h"
#include "tests/LinkFakes.h"
#include "tests/ModelAccess.h"
#include "views/ErrorsPage.h"

#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <functional>
#include <type_traits>

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

/// Which display routine each answer reached (by the model's signals), and the payload it came in.
struct Reached
{
    std::vector<std::string> calls;
    Bytes lastPayload;
};

struct Rig
{
    FakeIo io;
    DeviceModel model;
    LinkEngine engine{io, model};
    Reached client;

    Rig()
    {
        model.attach(engine);
        note(&DeviceModel::stateChanged, "Display_State");
        note(&DeviceModel::netChanged, "Display_Net");
        note(&DeviceModel::ram1Changed, "Display_RAM1");
        note(&DeviceModel::ram2Changed, "Display_RAM2");
        note(&DeviceModel::ram3Changed, "Display_RAM3");
        note(&DeviceModel::caldataChanged, "Display_Caldat");
        note(&DeviceModel::epChanged, "Display_EPdata");
        note(&DeviceModel::versionChanged, "Display_Version");
        note(&DeviceModel::harmonicsChanged, "Display_Harmonics");
    }
    template <typename Signal> void note(Signal signal, const char* name)
    {
        QObject::connect(&model, signal, [this, name] {
            client.calls.emplace_back(name);
            const std::uint8_t* p = engine.state().Rxbuff.data() + 3;
            client.lastPayload.assign(p, p + 48);
        });
    }

    void feed(const Bytes& b) { test::feed(engine, b); }
    std::vector<int> sentCodes() const { return test::sentCodes(io); }
    void tickAnswered(int ticks) { test::tickAnswered(engine, io, ticks); }
    std::vector<int> flags() const
    {
        std::vector<int> set;
        for (int k = 1; k <= 16; ++k)
            if (engine.flag(k))
                set.push_back(k);
        return set;
    }
    /// The RAM2 image changed as a loaded record file changes it.
    void editRam2(const std::function<void(Ram2Image&)>& edit)
    {
        Ram2Image image = model.memory().ram2;
        edit(image);
        model.loadRecordFile(image);
        client.calls.clear();
    }
    /// The meter on the line says who it is (an unasked RAM2 and RAM3 answer): the images are
    /// its records, and its writes may go out.
    void meterIs(std::uint32_t Gyartasiszam)
    {
        Bytes ram3(154, 0);
        std::memcpy(ram3.data() + ram3::Gyartasiszam.offset, &Gyartasiszam, 4);
        feed(makeFrame(Read_RAM1, Bytes(212, 0)));
        feed(makeFrame(Read_RAM2, Bytes(314, 0)));
        feed(makeFrame(Read_RAM3, ram3));
        io.writes.clear();
        client.calls.clear();
    }
    /// A settings section was loaded.
    void loadSettings()
    {
        model.loadSettings(model.memory().ram2, model.memory().ram3);
        client.calls.clear();
    }
};

/// Keeps what the model hands to the history; refuses every backup when told to.
struct FakeHistory : WriteHistory
{
    bool refuse = false;
    std::vector<MeterRecords> backups;
    std::vector<JournalEntry> lines;
    bool backup(const MeterRecords& records, MemoryRecord, QString* reason) override
    {
        if (refuse) {
            *reason = QStringLiteral("No space left on device");
            return false;
        }
        backups.push_back(records);
        return true;
    }
    bool journal(const JournalEntry& entry, QString*) override
    {
        lines.push_back(entry);
        return true;
    }
};

} // namespace

// Outside the model the images can only be read.
static_assert(std::is_const_v<std::remove_reference_t<decltype(std::declval<DeviceModel&>().memory())>>);

class TstDeviceModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

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

    void payloads()
    {
        Rig r;
        r.meterIs(111111);
        r.model.requestService(2);
        r.model.setHarmonicsChannel(4);
        r.model.setDaTestSource([] { return 12.5f; });
        r.model.setDigout(3);
        r.model.setDaCalCode(0x12);
        r.editRam2([](Ram2Image& i) {
            i[0] = 0xAB;
            i[313] = 0xCD;
        });
        for (int code : {1, 2, 7, 11, 12, 13, 14, 16})
            r.engine.setFlag(code, true);
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();              // Read_State
        r.feed(makeFrame(Read_State, Bytes{})); // too short to show: it only ends the exchange
        QCOMPARE(int(r.io.writes.back()[3]), 2);
        QCOMPARE(int(r.model.requests().ServiceCode), 0);
        // The RAM2 image is copied when the request goes out: an edit before then travels too.
        testMemory(r.model).ram2[1] = 0xEF;
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
        QCOMPARE(int(r.model.requests().HarmChannel), 4);
    }

    void serviceCodeWaitsForAPort()
    {
        Rig r;
        r.io.open = false;
        r.model.requestService(2);
        r.engine.setFlag(Read_State, true);
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(int(r.model.requests().ServiceCode), 2);
        QVERIFY(r.engine.flag(Read_State));
        r.io.open = true;
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(int(r.io.writes.at(0)[3]), 2);
        QCOMPARE(int(r.model.requests().ServiceCode), 0);
    }

    void pageChange_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<std::vector<int>>("polls");
        QTest::newRow("Meres") << QStringLiteral("TabSheet_Meres") << std::vector<int>{1, 3, 4, 6, 8, 14, 15};
        QTest::newRow("Phasor") << QStringLiteral("TabSheet_Phasor") << std::vector<int>{3, 6, 8};
        QTest::newRow("Trend") << QStringLiteral("TabSheet_Trend") << std::vector<int>{1, 3, 4, 6, 8, 14, 15};
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
        r.model.pageChanged(pagePolls("TabSheet_Meres")); // something to replace
        r.engine.setFlag(Read_RAM2, false);
        r.engine.setFlag(Read_RAM3, false);
        r.model.pageChanged(pagePolls(page.toLatin1().constData()));
        std::vector<int> set;
        for (int k = 1; k <= 16; ++k)
            if (r.engine.flag(k))
                set.push_back(k);
        QCOMPARE(set, polls);
        // The communication page keeps what the page left behind polled.
        r.model.pageChanged(pagePolls("TabSheet_Comm"));
        std::vector<int> after;
        for (int k = 1; k <= 16; ++k)
            if (r.engine.flag(k))
                after.push_back(k);
        QCOMPARE(after, polls);
    }

    void pageChangeWithLoadedSettingsKeepsRam()
    {
        Rig r;
        r.loadSettings();
        r.model.pageChanged(pagePolls("TabSheet_Meres"));
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
        r.meterIs(0x21212121); // the number the answers below carry
        r.model.pageChanged(PagePolls::keepingPrevious().rereadingConfigOnState(factoryPage));
        if (settingsLoaded)
            r.loadSettings();
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
        // Acknowledgements count whatever their payload. The energy clear, which has no read-back
        // in the command table, is read back for its verdict.
        const struct
        {
            int code;
            const char* name;
            V after;
        } acks[] = {{5, "Write_RAM1", {4}},   {7, "Write_RAM2", {6}},    {9, "Write_RAM3", {8}},
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
        r.meterIs(111111);
        r.model.pageChanged(PagePolls::keepingPrevious().rereadingConfigOnState(factoryPage));
        r.editRam2([](Ram2Image& i) { i.fill(0x11); });
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
        QVERIFY(std::all_of(r.model.memory().ram2.data(), r.model.memory().ram2.data() + int(ram2::kSize),
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
        r.meterIs(111111);
        r.editRam2([](Ram2Image& i) { i.fill(0x5A); }); // what the user packed
        r.engine.setFlag(Write_RAM2, true);
        r.engine.setFlag(Read_RAM2, true);
        r.feed(makeFrame(6, Bytes(314, 0x11)));
        Ram2Image packed;
        packed.fill(0x5A);
        QVERIFY(r.model.memory().ram2 == packed);
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
        QVERIFY(std::memcmp(r.model.memory().ram2.data(), payload.data(), 314) == 0);
    }

    // The scheduler builds each request from the command table and the model's values; what it
    // sends must be what the table (and so the meter) expects, and an acknowledged write flags the
    // table's read-back.
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
        r.meterIs(111111);
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

    void imageWhileItsWriteIsPending_data()
    {
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("write");
        QTest::addColumn<bool>("shown"); // the record read still reaches the page
        QTest::newRow("RAM1 (energy clear)") << int(Read_RAM1) << int(Write_RAM1) << true;
        QTest::newRow("RAM2") << int(Read_RAM2) << int(Write_RAM2) << false;
        QTest::newRow("RAM3") << int(Read_RAM3) << int(Write_RAM3) << false;
    }
    void imageWhileItsWriteIsPending()
    {
        QFETCH(int, read);
        QFETCH(int, write);
        QFETCH(bool, shown);
        Rig r;
        auto image = [&r, read]() -> Bytes {
            const DeviceMemory& m = r.model.memory();
            const std::uint8_t* d = read == Read_RAM1   ? m.ram1.data()
                                    : read == Read_RAM2 ? m.ram2.data()
                                                        : m.ram3.data();
            return Bytes(d, d + answerRecordSize(read));
        };
        const auto size = static_cast<std::size_t>(answerRecordSize(read));
        // First a record from the meter; then the write is asked for, and a read answer comes in.
        r.feed(makeFrame(static_cast<std::uint8_t>(read), Bytes(size, 0x31)));
        QCOMPARE(image(), Bytes(size, 0x31));
        r.engine.setFlag(write, true);
        r.client.calls.clear();
        r.feed(makeFrame(static_cast<std::uint8_t>(read), Bytes(size, 0x77)));
        QCOMPARE(image(), Bytes(size, 0x31));
        QCOMPARE(r.client.calls.size(), std::size_t(shown ? 1 : 0));
        QVERIFY(r.engine.flag(write));
        // The write's acknowledgement ends the write; the next read is taken.
        r.feed(makeFrame(static_cast<std::uint8_t>(write), {}));
        QVERIFY(!r.engine.flag(write));
        r.feed(makeFrame(static_cast<std::uint8_t>(read), Bytes(size, 0x77)));
        QCOMPARE(image(), Bytes(size, 0x77));
    }

    // The user presses write again while the first write is on the line: the first write's
    // acknowledgement, in time or after the time-out, must not end the second.
    void aNewerPackingOutlivesTheOlderAcknowledgement_data()
    {
        QTest::addColumn<bool>("late");
        QTest::newRow("acknowledged in time") << false;
        QTest::newRow("acknowledged after the time-out") << true;
    }
    void aNewerPackingOutlivesTheOlderAcknowledgement()
    {
        QFETCH(bool, late);
        Rig r;
        std::uint8_t packed = 0;
        QObject::connect(&r.model, &DeviceModel::packingRam2, [&](Ram2Image& i) { i[9] = packed; });
        r.feed(makeFrame(Read_RAM2, Bytes(ram2::kSize, 1)));
        r.feed(makeFrame(Read_RAM3, Bytes(ram3::kSize, 1)));
        r.engine.setFlag(Write_RAM3, false);
        // The next request sent: the byte packed, or -1 when it is no RAM2 write.
        auto sendWrite = [&]() -> int {
            r.io.writes.clear();
            for (int i = 0; i < 20 && r.io.writes.empty(); ++i) {
                r.engine.CommTimerTimer();
                // After the time-out the meter is asked who it is before the write goes again.
                if (r.sentCodes() == std::vector<int>{Read_RAM3}) {
                    r.feed(makeFrame(Read_RAM3, Bytes(ram3::kSize, 1)));
                    r.io.writes.clear();
                }
            }
            return r.sentCodes() == std::vector<int>{Write_RAM2} ? r.io.writes.at(0)[3 + 9] : -1;
        };
        packed = 0x75;
        QVERIFY(r.model.WriteRamClick());
        r.engine.setFlag(Write_RAM3, false); // only RAM2 matters here
        QCOMPARE(sendWrite(), 0x75);
        if (late)
            r.engine.TimeoutTimerTimer();
        packed = 0x88;
        QVERIFY(r.model.WriteRamClick());
        r.engine.setFlag(Write_RAM3, false);
        r.feed(makeFrame(Write_RAM2, {})); // the first write's acknowledgement
        QVERIFY(r.engine.flag(Write_RAM2));
        QVERIFY(!r.engine.flag(Read_RAM2));
        // A read answer meanwhile does not undo the newer packing either.
        r.feed(makeFrame(Read_RAM2, Bytes(ram2::kSize, 0x75)));
        QCOMPARE(r.model.memory().ram2[9], std::uint8_t(0x88));
        QCOMPARE(sendWrite(), 0x88);
        r.feed(makeFrame(Write_RAM2, {}));
        QVERIFY(!r.engine.flag(Write_RAM2));
        QVERIFY(r.engine.flag(Read_RAM2));
    }

    // The same for the output test byte, the analog calibration step and the analog test value:
    // a value set again while the request of the previous one is on the line still goes out.
    void aNewerValueOutlivesTheOlderAcknowledgement_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("late");
        for (int code : {Write_Digout, Write_DAcalib, Write_DAtest}) {
            QTest::addRow("%s acknowledged in time", commandName(code)) << code << false;
            QTest::addRow("%s acknowledged after the time-out", commandName(code)) << code << true;
        }
    }
    void aNewerValueOutlivesTheOlderAcknowledgement()
    {
        QFETCH(int, code);
        QFETCH(bool, late);
        Rig r;
        float daTest = 0;
        r.model.setDaTestSource([&] { return daTest; });
        auto setValue = [&](std::uint8_t v) {
            if (code == Write_Digout)
                r.model.setDigout(v);
            else if (code == Write_DAcalib)
                r.model.setDaCalCode(v);
            else {
                daTest = v;
                r.model.requestDaTest();
            }
        };
        // The value the next request carries, or -1 when the next request is another.
        auto sendValue = [&]() -> int {
            r.io.writes.clear();
            for (int i = 0; i < 20 && r.io.writes.empty(); ++i)
                r.engine.CommTimerTimer();
            if (r.sentCodes() != std::vector<int>{code})
                return -1;
            if (code != Write_DAtest)
                return r.io.writes.at(0)[3];
            float v;
            std::memcpy(&v, r.io.writes.at(0).data() + 3, sizeof v);
            return int(v);
        };
        setValue(0x01);
        QCOMPARE(sendValue(), 0x01);
        if (late)
            r.engine.TimeoutTimerTimer();
        setValue(0x02);
        r.feed(makeFrame(std::uint8_t(code), {})); // the first value's acknowledgement
        QVERIFY(r.engine.flag(code));
        QCOMPARE(sendValue(), 0x02);
        r.feed(makeFrame(std::uint8_t(code), {}));
        QVERIFY(!r.engine.flag(code));
    }

    void writeConfigPacksTheEditors()
    {
        Rig r;
        int packs = 0;
        QObject::connect(&r.model, &DeviceModel::packingRam2, [&](Ram2Image& i) {
            ++packs;
            i[5] = 0x42;
        });
        QObject::connect(&r.model, &DeviceModel::packingRam3, [&](Ram3Image& i) {
            ++packs;
            i[7] = 0x24;
        });
        // Without both records nothing is packed and nothing is flagged.
        QVERIFY(!r.model.WriteRamClick());
        QCOMPARE(packs, 0);
        QVERIFY(r.flags().empty());
        r.feed(makeFrame(Read_RAM2, Bytes(ram2::kSize, 1)));
        QVERIFY(!r.model.WriteRamClick());
        r.feed(makeFrame(Read_RAM3, Bytes(ram3::kSize, 1)));
        QVERIFY(r.model.WriteRamClick());
        QCOMPARE(packs, 2);
        QCOMPARE(r.flags(), (std::vector<int>{Write_RAM2, Write_RAM3}));
        // What goes out is what was packed, byte for byte.
        r.tickAnswered(1);
        r.engine.CommTimerTimer();
        QCOMPARE(r.io.writes.at(0)[0], std::uint8_t(Write_RAM2));
        QCOMPARE(r.io.writes.at(0)[3 + 5], std::uint8_t(0x42));
        QCOMPARE(r.io.writes.at(0)[3 + 4], std::uint8_t(1));
    }

    // A write reaches only the meter its records belong to, and its outcome is told once: the line
    // interrupted while the write is owed, then a meter answers (the same, another one), or a
    // settings section is loaded meanwhile; and the read-back decides the verdict.
    void aWriteBelongsToItsMeter_data()
    {
        QTest::addColumn<QString>("then");       // what happens while the write is owed
        QTest::addColumn<std::uint32_t>("next"); // the meter that answers afterwards
        QTest::addColumn<std::vector<int>>("written");
        QTest::addColumn<QStringList>("outcomes"); // record and outcome of every writeFinished
        using V = std::vector<int>;
        QTest::newRow("same meter after a time-out") << "timeout" << 111111u << V{Write_RAM2, Write_RAM3}
                                                     << QStringList{"RAM2 verified", "RAM3 verified"};
        QTest::newRow("same meter after a port change") << "port" << 111111u << V{Write_RAM2, Write_RAM3}
                                                        << QStringList{"RAM2 verified", "RAM3 verified"};
        QTest::newRow("another meter after a time-out")
            << "timeout" << 222222u << V{} << QStringList{"RAM2 other 222222", "RAM3 other 222222"};
        QTest::newRow("another meter after a port change")
            << "port" << 222222u << V{} << QStringList{"RAM2 other 222222", "RAM3 other 222222"};
        QTest::newRow("a settings section loaded meanwhile") << "load" << 111111u << V{} << QStringList{};
        QTest::newRow("no backup can be made") << "nobackup" << 111111u << V{} << QStringList{};
        // A read-back too short for its record, or with a broken CRC, gives no verdict: the good one
        // after it does.
        QTest::newRow("short and broken read-backs first")
            << "damaged" << 111111u << V{Write_RAM2, Write_RAM3}
            << QStringList{"RAM2 verified", "RAM3 verified"};
        QTest::newRow("the meter caps the ratio")
            << "clamp" << 111111u << V{Write_RAM2, Write_RAM3}
            << QStringList{"RAM2 differs Ratio[1] 75.5 70", "RAM3 verified"};
        // The new meter's factory record replaced the image before the press; the configuration
        // shown is still the old meter's.
        QTest::newRow("another meter's factory record read before the press")
            << "moved" << 222222u << V{Write_RAM3} << QStringList{"RAM2 other 222222", "RAM3 verified"};
        // The same press, and the old meter back on the line before the write goes: the press was
        // made (and reviewed) with the new meter on the line, so the old meter's configuration is
        // not written into either.
        QTest::newRow("the old meter back before the write goes")
            << "movedback" << 111111u << V{} << QStringList{"RAM2 other 222222", "RAM3 other 111111"};
    }
    void aWriteBelongsToItsMeter()
    {
        QFETCH(QString, then);
        QFETCH(std::uint32_t, next);
        QFETCH(std::vector<int>, written);
        QFETCH(QStringList, outcomes);
        Rig r;
        FakeHistory history;
        history.refuse = then == QLatin1String("nobackup");
        r.model.setHistory(&history);
        QStringList refused;
        QObject::connect(&r.model, &DeviceModel::writeRefused, [&](MemoryRecord rec, const QString& why) {
            refused << QStringLiteral("%1 %2").arg(QLatin1String(memoryRecordName(rec)), why);
        });
        r.meterIs(111111);
        QStringList got;
        QObject::connect(&r.model, &DeviceModel::writeFinished, [&](const JournalEntry& e) {
            QString line = QLatin1String(memoryRecordName(e.record));
            if (e.outcome == WriteOutcome::Verified)
                line += QStringLiteral(" verified");
            else if (e.outcome == WriteOutcome::OtherMeter)
                line += QStringLiteral(" other %1").arg(e.otherMeter.value_or(0));
            else if (e.outcome == WriteOutcome::Differs)
                for (const FieldChange& c : e.differences)
                    line += QStringLiteral(" differs %1 %2 %3")
                                .arg(QString::fromStdString(c.name()))
                                .arg(c.before)
                                .arg(c.after);
            else
                line += QStringLiteral(" not acknowledged");
            got << line;
        });
        QObject::connect(&r.model, &DeviceModel::packingRam2,
                         [](Ram2Image& i) { set(i, ram2::Ratio, 1, 75.5f); });
        if (then == QLatin1String("moved") || then == QLatin1String("movedback")) {
            r.engine.portClosed();
            r.engine.portOpened();
            Bytes ram3(154, 0);
            const std::uint32_t other = 222222;
            std::memcpy(ram3.data() + ram3::Gyartasiszam.offset, &other, 4);
            r.feed(makeFrame(Read_RAM3, ram3));
        }
        QVERIFY(r.model.WriteRamClick());
        if (then == QLatin1String("timeout")) {
            r.engine.CommTimerTimer();
            r.engine.CommTimerTimer(); // the RAM2 write goes, and its answer never comes
            r.engine.TimeoutTimerTimer();
        } else if (then == QLatin1String("port") || then == QLatin1String("movedback")) {
            r.engine.portClosed();
            r.engine.portOpened();
        } else if (then == QLatin1String("load")) {
            r.engine.TimeoutTimerTimer(); // the meter fell silent before the write went
            Ram2Image loaded = r.model.memory().ram2;
            set(loaded, ram2::Ratio, 1, 33.0f);
            r.model.loadSettings(loaded, r.model.memory().ram3);
        }
        // The meter answers each request: RAM3 with its factory number, a read of RAM2 with what it
        // holds (the ratio capped at 70 by the clamping meter).
        Ram2Image held = r.model.memory().ram2;
        Ram3Image held3 = r.model.memory().ram3;
        set(held3, ram3::Gyartasiszam, next);
        std::vector<int> writes;
        int damagedAnswers = 0;
        r.io.writes.clear();
        for (int tick = 0; tick < 40; ++tick) {
            const auto before = r.io.writes.size();
            r.engine.CommTimerTimer();
            if (r.io.writes.size() == before)
                continue;
            const Bytes& w = r.io.writes.back();
            const auto code = static_cast<std::uint8_t>(w[0]);
            if (code == Write_RAM2) {
                writes.push_back(code);
                held.copyFrom(w.data() + 3);
                if (then == QLatin1String("clamp"))
                    set(held, ram2::Ratio, 1, std::min(get(held, ram2::Ratio, 1), 70.0f));
                r.feed(makeFrame(code, {}));
            } else if (code == Write_RAM3) {
                writes.push_back(code);
                held3.copyFrom(w.data() + 3);
                r.feed(makeFrame(code, {}));
            } else if (code == Read_RAM2 && then == QLatin1String("damaged") && damagedAnswers < 2) {
                Bytes frame = makeFrame(
                    code, Bytes(held.data(), held.data() + held.size() - 10 * (1 - damagedAnswers)));
                if (damagedAnswers++ == 1)
                    frame.back() ^= 0xFF; // CRC
                r.feed(frame);
                if (r.engine.state().AnswerPending)
                    r.engine.TimeoutTimerTimer();
                QVERIFY(!got.join(QLatin1Char(' ')).contains(QLatin1String("RAM2")));
            } else if (code == Read_RAM2) {
                r.feed(makeFrame(code, Bytes(held.data(), held.data() + held.size())));
            } else if (code == Read_RAM3) {
                r.feed(makeFrame(code, Bytes(held3.data(), held3.data() + held3.size())));
            } else {
                r.feed(makeFrame(code, Bytes(std::size_t(std::max(answerRecordSize(code), 0)), 0)));
            }
        }
        std::sort(writes.begin(), writes.end()); // after a time-out RAM3 may go first
        QCOMPARE(writes, written);
        got.sort();
        QCOMPARE(got, outcomes);
        if (then == QLatin1String("load")) // what was loaded waits for the user's write
            QCOMPARE(get(r.model.memory().ram2, ram2::Ratio, 1), 33.0f);
        if (then == QLatin1String("clamp")) // the editor shows what the meter holds
            QCOMPARE(get(r.model.memory().ram2, ram2::Ratio, 1), 70.0f);
        // Every write that went out was backed up first, with the meter's record as read (not the
        // packed image), and journalled with what it changed; nothing goes without a backup.
        // (After the time-out the RAM2 write that went before it was backed up once.)
        const bool wentBefore = then == QLatin1String("timeout");
        QCOMPARE(int(history.backups.size()), written.empty() && wentBefore ? 1 : int(written.size()));
        // Once the line moved, only the new meter's factory record went, to the new meter.
        const bool moved = then == QLatin1String("moved");
        for (const MeterRecords& b : history.backups) {
            QCOMPARE(b.Gyartasiszam, moved ? next : 111111u);
            QVERIFY(moved || (b.ram2 && get(*b.ram2, ram2::Ratio, 1) == 0.0f));
        }
        QCOMPARE(int(history.lines.size()), int(outcomes.size()));
        const bool ram2Written = std::find(written.begin(), written.end(), int(Write_RAM2)) != written.end();
        // Each journal line names the meter the record belongs to: the factory record read from the
        // new meter is that meter's.
        const bool newFactory = moved || then == QLatin1String("movedback");
        for (const JournalEntry& e : history.lines) {
            QCOMPARE(e.Gyartasiszam, newFactory && e.record == MemoryRecord::Ram3 ? 222222u : 111111u);
            if (e.record == MemoryRecord::Ram2 && ram2Written)
                QCOMPARE(QString::fromStdString(e.changes.at(0).name()), QStringLiteral("Ratio[1]"));
        }
        const QStringList expectRefused =
            history.refuse ? QStringList{"RAM2 No space left on device", "RAM3 No space left on device"}
                           : QStringList{};
        QCOMPARE(refused, expectRefused);
    }

    // A calibration button on another meter's loaded section: its factory data never goes into
    // the meter on the line unasked, and the user hears why nothing was written; with the review's
    // tick it goes, to the meter on the line.
    void anotherMetersCalibrationStaysOut()
    {
        for (const bool asked : {false, true}) {
            Rig r;
            r.meterIs(111111);
            Ram3Image other = r.model.memory().ram3;
            set(other, ram3::Gyartasiszam, 222222u);
            r.model.loadSettings(r.model.memory().ram2, other);
            if (asked)
                r.model.setReviewer([](const WriteProposal& p) {
                    return ReviewDecision{p.foreign() && p.ram3.has_value(), true};
                });
            QList<std::pair<std::uint32_t, std::uint32_t>> kept;
            QObject::connect(&r.model, &DeviceModel::foreignFactoryKept,
                             [&](std::uint32_t owner, std::uint32_t meter) {
                                 kept.append({owner, meter});
                             });
            QCOMPARE(r.model.calibrateOffset(0), asked);
            QCOMPARE(r.engine.flag(Write_RAM3), asked);
            QCOMPARE(kept.size(), asked ? 0 : 1);
            if (!asked)
                QCOMPARE(kept.at(0), (std::pair<std::uint32_t, std::uint32_t>(222222, 111111)));
            else
                QCOMPARE(r.model.imageOwner(MemoryRecord::Ram3), std::optional<std::uint32_t>(111111));
        }
    }

    // Meter A falls silent with a configuration write owed and meter B answers on the same line:
    // the write is dropped, and from then on the idle configuration page asks B for nothing more.
    void droppedWriteLeavesTheLineIdle_data()
    {
        QTest::addColumn<bool>("history");
        QTest::addColumn<bool>("wentOut"); // A took the write's request before falling silent
        QTest::newRow("no history, owed") << false << false;
        QTest::newRow("history, owed") << true << false;
        QTest::newRow("history, sent then silent") << true << true;
    }
    void droppedWriteLeavesTheLineIdle()
    {
        QFETCH(bool, history);
        QFETCH(bool, wentOut);
        Rig r;
        FakeHistory h;
        if (history)
            r.model.setHistory(&h);
        r.model.pageChanged(pagePolls("TabSheet_Config"));
        r.meterIs(111111);
        r.engine.setFlag(Read_RAM2, false);
        r.engine.setFlag(Read_RAM3, false);
        QVERIFY(r.model.WriteRamClick());
        auto answerAs = [&](std::uint32_t meter, int code) {
            Bytes payload(std::size_t(std::max(answerRecordSize(code), 1)), 0);
            if (code == Read_RAM3)
                std::memcpy(payload.data() + ram3::Gyartasiszam.offset, &meter, 4);
            r.feed(makeFrame(std::uint8_t(code), payload));
        };
        auto tick = [&](std::optional<std::uint32_t> meter) {
            const auto before = r.io.writes.size();
            r.engine.CommTimerTimer();
            if (r.io.writes.size() == before)
                return 0;
            const int code = r.io.writes.back()[0];
            if (meter)
                answerAs(*meter, code);
            else
                r.engine.TimeoutTimerTimer();
            return code;
        };
        if (wentOut) { // A takes the write's request, then falls silent before acknowledging it
            for (int i = 0; i < 40; ++i) {
                const auto before = r.io.writes.size();
                r.engine.CommTimerTimer();
                if (r.io.writes.size() == before)
                    continue;
                const int code = r.io.writes.back()[0];
                if (code == Write_RAM2)
                    break;
                answerAs(111111u, code);
            }
            QVERIFY(!r.io.writes.empty());
            QCOMPARE(int(r.io.writes.back()[0]), int(Write_RAM2));
            r.engine.TimeoutTimerTimer();
        }
        for (int i = 0; i < 12; ++i)
            tick(std::nullopt);
        QList<JournalEntry> ended;
        QObject::connect(&r.model, &DeviceModel::writeFinished, [&](const JournalEntry& e) { ended << e; });
        for (int i = 0; i < 20; ++i)
            tick(222222u);
        QVERIFY(!r.engine.flag(Write_RAM2) && !r.engine.flag(Write_RAM3));
        QVERIFY(!ended.isEmpty());
        for (const JournalEntry& e : ended)
            QCOMPARE(e.outcome, WriteOutcome::OtherMeter);
        int requests = 0;
        for (int i = 0; i < 50; ++i)
            requests += tick(222222u) != 0;
        QCOMPARE(requests, 0);
    }

    void firmwareRefusal_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<bool>("refused");
        QTest::newRow("2") << 2 << true;
        QTest::newRow("3") << 3 << false;
        QTest::newRow("4") << 4 << true;
        QTest::newRow("0") << 0 << true;
    }
    void firmwareRefusal()
    {
        QFETCH(int, major);
        QFETCH(bool, refused);
        Rig r;
        int refusals = 0;
        int refusedMajor = -1;
        QObject::connect(&r.model, &DeviceModel::unsupportedDevice, [&](const VersionRecord& v) {
            ++refusals;
            refusedMajor = get(v, version::ProgramversionMajor);
        });
        Bytes payload(version::kSize, 0);
        payload[0] = static_cast<std::uint8_t>(major);
        r.engine.setFlag(Read_Version, true);
        r.feed(makeFrame(Read_Version, payload));
        QCOMPARE(refusals, refused ? 1 : 0);
        if (refused)
            QCOMPARE(refusedMajor, major);
        QVERIFY(!r.engine.flag(Read_Version));
    }

    void serviceButtons_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("code");
        QTest::newRow("clear errors") << "TabSheet_Errors"
                                      << "ClearErrorsbutton" << int(kServiceClearErrors);
        QTest::newRow("user defaults") << "TabSheet_Config"
                                       << "UserDefaultButton" << int(kServiceUserDefaults);
        QTest::newRow("factory defaults") << "TabSheet_FactorySettings"
                                          << "VelmarDefaultbutton" << int(kServiceFactoryDefaults);
    }
    void serviceButtons()
    {
        QFETCH(QString, page);
        QFETCH(QString, button);
        QFETCH(int, code);
        Rig r;
        UserPrompts prompts(nullptr);
        TSectionForm sections;
        ConfigFiles files(r.model, prompts, sections);
        ErrorsPage errors;
        errors.attach(r.model);
        ConfigPage config;
        config.attach(r.model, files, prompts);
        FactoryPage factory;
        factory.attach(r.model, files);
        QWidget* pages[] = {&errors, &config, &factory};
        QWidget* shown = *std::find_if(std::begin(pages), std::end(pages),
                                       [&](QWidget* w) { return w->objectName() == page; });
        auto* b = shown->findChild<QPushButton*>(button);
        QVERIFY(b);
        b->click();
        // The code rides on the next state request, once, and is spent when it went out.
        QCOMPARE(int(r.model.requests().ServiceCode), code);
        r.engine.CommTimerTimer();
        r.engine.CommTimerTimer();
        QCOMPARE(r.sentCodes(), std::vector<int>{Read_State});
        QCOMPARE(int(r.io.writes.at(0)[3]), code);
        QCOMPARE(int(r.model.requests().ServiceCode), 0);
    }
};

QTEST_MAIN(TstDeviceModel)
#include "tst_device_model.moc"
