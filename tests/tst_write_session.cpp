// The write session alone, without the link engine: a line of request flags, a meter that answers
// by calls, and a history. Each row is a script of what happens on the line and what the session
// must have said: how each write ended, the notices, the flags left set, the images written.

#include "device/MeterRules.h"
#include "device/WriteSession.h"
#include "protocol/Commands.h"

#include <QSignalSpy>
#include <QTest>

#include <array>
#include <functional>

using namespace kvam;

namespace {

struct FlagLine : WriteSession::Line
{
    std::array<bool, kCommandCount + 1> flags{};
    bool flag(std::uint8_t code) const override { return code <= kCommandCount && flags[code]; }
    void setFlag(std::uint8_t code, bool on) override
    {
        if (code <= kCommandCount)
            flags[code] = on;
    }
};

struct History : WriteHistory
{
    bool refuse = false;
    int backups = 0;
    QStringList lines;
    bool backup(const MeterRecords&, MemoryRecord, QString* reason) override
    {
        if (refuse)
            *reason = QStringLiteral("No space left on device");
        else
            ++backups;
        return !refuse;
    }
    bool journal(const JournalEntry& e, QString*) override
    {
        lines << QStringLiteral("%1 %2").arg(QLatin1String(memoryRecordName(e.record))).arg(e.Gyartasiszam);
        return true;
    }
};

/// The session with its line, its images, a history, and a meter that answers by calls.
struct Bench
{
    DeviceMemory images;
    FlagLine line;
    History history;
    WriteSession session{images, line};
    Ram1Image ram1;
    Ram2Image ram2;
    Ram3Image ram3;
    QStringList ended;                      ///< "RAM2 verified" ...
    QStringList notices;                    ///< the English wording of every notice
    std::optional<ReviewDecision> decision; ///< the review's answer; none: no review

    explicit Bench(std::uint32_t meter = 111111, int modul1 = kModul1WithInputs)
    {
        set(ram3, ram3::Gyartasiszam, meter);
        set(ram3, ram3::Modulconfig, std::uint16_t(modul1));
        session.setHistory(&history);
        QObject::connect(&session, &WriteSession::writeFinished, [this](const JournalEntry& e) {
            static const char* const outcome[] = {"verified", "differs", "not acknowledged", "other meter"};
            ended << QStringLiteral("%1 %2").arg(QLatin1String(memoryRecordName(e.record)),
                                                 QLatin1String(outcome[int(e.outcome)]));
        });
        QObject::connect(&session, &WriteSession::noticed,
                         [this](const WriteNotice& n) { notices << writeNoticeText(n, Language::English); });
    }
    void review()
    {
        session.setReviewer([this](const WriteProposal&) { return *decision; });
    }
    /// The meter answers a read of `record` with what it holds; the images take it.
    void read(MemoryRecord record)
    {
        const std::uint8_t* bytes = record == MemoryRecord::Ram1   ? ram1.data()
                                    : record == MemoryRecord::Ram2 ? ram2.data()
                                                                   : ram3.data();
        line.setFlag(readCommandOf(record), false);
        session.recordRead(record, bytes);
        if (record == MemoryRecord::Ram2)
            images.ram2 = ram2;
        else if (record == MemoryRecord::Ram3)
            images.ram3 = ram3;
        else
            images.ram1 = ram1;
        session.imageRead(record);
        session.verify(record, bytes);
    }
    void identified()
    {
        read(MemoryRecord::Ram1);
        read(MemoryRecord::Ram2);
        read(MemoryRecord::Ram3);
    }
    /// The scheduler's turn for a write: whether it went out; the meter stores it (a clamping meter
    /// keeps `clampRatio` in Ratio[1]) and acknowledges it unless it is silent.
    bool send(MemoryRecord record, bool acknowledge = true, std::optional<float> clampRatio = {})
    {
        const std::uint8_t write = writeCommandOf(record);
        if (!line.flag(write) || !session.mayRequest(write))
            return false;
        session.requestSent(write);
        if (record == MemoryRecord::Ram2) {
            ram2 = images.ram2;
            if (clampRatio)
                set(ram2, ram2::Ratio, 1, *clampRatio);
        } else if (record == MemoryRecord::Ram3) {
            ram3 = images.ram3;
        }
        if (acknowledge)
            session.acknowledged(write);
        return true;
    }
    /// Answers every read the session asked for, in the scheduler's order.
    void answerReads()
    {
        for (int round = 0; round < 4; ++round)
            for (MemoryRecord r : kAllMemoryRecords)
                if (line.flag(readCommandOf(r)))
                    read(r);
    }
    /// The editors packed with Ratio[1] changed; only RAM2 proposed, so that the rows follow one write.
    WriteProposal editedRatio(float ratio) const
    {
        Ram2Image r2 = images.ram2;
        set(r2, ram2::Ratio, 1, ratio);
        WriteProposal p = session.editors(r2, images.ram3);
        p.ram3.reset();
        return p;
    }
};

using Script = std::function<void(Bench&)>;

} // namespace

class TstWriteSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setCurrentLanguage(Language::English); }

    void outcomesAndRules_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<QStringList>("ended");
        QTest::addColumn<QStringList>("notices"); // each a part of one notice, in order
        QTest::addColumn<QList<int>>("owed");     // write flags still set at the end

        QTest::newRow("owner: identified, backed up, written, read back alike") << Script([](Bench& b) {
            b.identified();
            QVERIFY(b.session.submit(b.editedRatio(75.5f)));
            QVERIFY(b.send(MemoryRecord::Ram2));
            b.answerReads();
            QCOMPARE(b.history.backups, 1);
            QCOMPARE(b.history.lines, QStringList{"RAM2 111111"});
        }) << QStringList{"RAM2 verified"} << QStringList{"Meter 111111: RAM2 written and verified"}
                                                                                << QList<int>{};
        QTest::newRow("a meter that keeps another value: differs after two read-backs alike")
            << Script([](Bench& b) {
                   b.identified();
                   b.session.submit(b.editedRatio(75.5f));
                   b.send(MemoryRecord::Ram2, true, 70.0f);
                   b.answerReads();
               })
            << QStringList{"RAM2 differs"}
            << QStringList{"RAM2 written, but the meter holds otherwise: Ratio[1] written 75.5, read 70"}
            << QList<int>{};
        QTest::newRow("went out, never acknowledged, the program ends") << Script([](Bench& b) {
            b.identified();
            b.session.submit(b.editedRatio(75.5f));
            b.send(MemoryRecord::Ram2, false);
            b.session.finish();
        }) << QStringList{"RAM2 not acknowledged"} << QStringList{"RAM2 not acknowledged"}
                                                                        << QList<int>{Write_RAM2};
        QTest::newRow("the line interrupted: the meter must say who it is before the write goes")
            << Script([](Bench& b) {
                   b.identified();
                   b.session.submit(b.editedRatio(75.5f));
                   b.session.lineInterrupted();
                   QVERIFY(!b.send(MemoryRecord::Ram2));
                   QVERIFY(b.line.flag(Read_RAM3));
                   b.answerReads();
                   QVERIFY(b.send(MemoryRecord::Ram2));
                   b.answerReads();
               })
            << QStringList{"RAM2 verified"} << QStringList{"RAM2 written and verified"} << QList<int>{};
        QTest::newRow("owner: another meter answers before the write's turn")
            << Script([](Bench& b) {
                   b.identified();
                   b.session.submit(b.editedRatio(75.5f));
                   b.session.lineInterrupted();
                   set(b.ram3, ram3::Gyartasiszam, 222222u);
                   QVERIFY(!b.send(MemoryRecord::Ram2)); // who is on the line?
                   b.answerReads();
                   QVERIFY(!b.send(MemoryRecord::Ram2));
                   QCOMPARE(b.history.lines, QStringList{"RAM2 111111"});
               })
            << QStringList{"RAM2 other meter"}
            << QStringList{"Meter 111111: RAM2 not written: meter 222222 answered on the line"}
            << QList<int>{};
        QTest::newRow("a newer commitment: the acknowledgement of the older one ends nothing")
            << Script([](Bench& b) {
                   b.identified();
                   b.session.submit(b.editedRatio(75.5f));
                   b.send(MemoryRecord::Ram2, false);
                   b.session.submit(b.editedRatio(80.0f));
                   QVERIFY(!b.session.acknowledged(Write_RAM2)); // late, for the first
                   QVERIFY(b.line.flag(Write_RAM2));
                   QVERIFY(b.send(MemoryRecord::Ram2));
                   b.answerReads();
                   QCOMPARE(get(b.ram2, ram2::Ratio, 1), 80.0f);
               })
            << QStringList{"RAM2 verified"} << QStringList{"RAM2 written and verified"} << QList<int>{};
        QTest::newRow("a value written again after its request went out still goes") << Script([](Bench& b) {
            b.session.commit(Write_DAcalib);
            b.session.requestSent(Write_DAcalib);
            b.session.commit(Write_DAcalib);
            QVERIFY(!b.session.acknowledged(Write_DAcalib));
            b.session.requestSent(Write_DAcalib);
            QVERIFY(b.session.acknowledged(Write_DAcalib));
        }) << QStringList{} << QStringList{} << QList<int>{};
        QTest::newRow("no backup: not sent, the user told why")
            << Script([](Bench& b) {
                   b.identified();
                   b.history.refuse = true;
                   QSignalSpy refused(&b.session, &WriteSession::writeRefused);
                   b.session.submit(b.editedRatio(75.5f));
                   QVERIFY(!b.send(MemoryRecord::Ram2));
                   QCOMPARE(refused.count(), 1);
               })
            << QStringList{}
            << QStringList{"Meter 111111: RAM2 not written: no backup (No space left on device)"}
            << QList<int>{};
        QTest::newRow("a load replaces an owed write") << Script([](Bench& b) {
            b.identified();
            b.session.submit(b.editedRatio(75.5f));
            constexpr MemoryRecord kLoaded[] = {MemoryRecord::Ram2};
            b.session.imagesLoaded(kLoaded, std::nullopt);
        }) << QStringList{} << QStringList{"RAM2 not written: the load replaced it"}
                                                       << QList<int>{};
        QTest::newRow("another meter's RAM3 without consent: only RAM2 goes, to the meter on the line")
            << Script([](Bench& b) {
                   b.identified();
                   b.decision = ReviewDecision{true, false};
                   b.review();
                   MeterRecords backup{222222, std::nullopt, b.ram2, b.ram3};
                   set(*backup.ram2, ram2::Ratio, 1, 75.5f);
                   set(*backup.ram3, ram3::Gyartasiszam, 222222u);
                   set(*backup.ram3, ram3::Offset, 0, std::int16_t(9));
                   QVERIFY(b.session.submit(b.session.restoreOf(backup)));
                   QVERIFY(b.send(MemoryRecord::Ram2));
                   QVERIFY(!b.line.flag(Write_RAM3));
                   b.answerReads();
               })
            << QStringList{"RAM2 verified"}
            << QStringList{"RAM3 of meter 222222 not written into meter 111111", "Meter 111111: RAM2 written"}
            << QList<int>{};
        QTest::newRow("another meter's RAM3 with consent: both go to the meter on the line")
            << Script([](Bench& b) {
                   b.identified();
                   b.decision = ReviewDecision{true, true};
                   b.review();
                   MeterRecords backup{222222, std::nullopt, b.ram2, b.ram3};
                   set(*backup.ram2, ram2::Ratio, 1, 75.5f);
                   set(*backup.ram3, ram3::Offset, 0, std::int16_t(9));
                   set(*backup.ram3, ram3::Gyartasiszam, 222222u);
                   QVERIFY(b.session.submit(b.session.restoreOf(backup)));
                   QVERIFY(b.send(MemoryRecord::Ram2));
                   QVERIFY(b.send(MemoryRecord::Ram3));
                   b.answerReads();
                   QCOMPARE(get(b.ram3, ram3::Offset, 0), std::int16_t(9));
               })
            << QStringList{"RAM2 verified", "RAM3 verified"}
            << QStringList{"Meter 111111: RAM2 written", "Meter 222222: RAM3 written and verified"}
            << QList<int>{};
        QTest::newRow("another meter's RAM3 alone without consent: nothing written, the user told")
            << Script([](Bench& b) {
                   b.identified();
                   b.decision = ReviewDecision{true, false};
                   b.review();
                   QSignalSpy kept(&b.session, &WriteSession::foreignFactoryKept);
                   MeterRecords backup{222222, std::nullopt, std::nullopt, b.ram3};
                   set(*backup.ram3, ram3::Gyartasiszam, 222222u);
                   QVERIFY(!b.session.submit(b.session.restoreOf(backup)));
                   QCOMPARE(kept.count(), 1);
               })
            << QStringList{}
            << QStringList{"RAM3 of meter 222222 not written into meter 111111: not asked for"}
            << QList<int>{};
        QTest::newRow("a review that declines writes nothing") << Script([](Bench& b) {
            b.identified();
            b.decision = ReviewDecision{false, false};
            b.review();
            QVERIFY(!b.session.submit(b.editedRatio(75.5f)));
        }) << QStringList{} << QStringList{} << QList<int>{};
    }
    void outcomesAndRules()
    {
        QFETCH(Script, script);
        QFETCH(QStringList, ended);
        QFETCH(QStringList, notices);
        QFETCH(QList<int>, owed);
        Bench b;
        script(b);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(b.ended, ended);
        QCOMPARE(b.notices.size(), notices.size());
        for (qsizetype i = 0; i < notices.size(); ++i)
            QVERIFY2(b.notices[i].contains(notices[i]), qPrintable(b.notices[i] + " | " + notices[i]));
        QList<int> flagged;
        for (MemoryRecord r : kAllMemoryRecords)
            if (b.line.flag(writeCommandOf(r)))
                flagged << writeCommandOf(r);
        QCOMPARE(flagged, owed);
    }

    void sectionPolicies_data()
    {
        QTest::addColumn<int>("policy");
        QTest::addColumn<bool>("damaged"); // the reader reports a key missing
        QTest::addColumn<bool>("meterRead");
        QTest::addColumn<QString>("error"); // empty: composed
        QTest::addColumn<float>("base");    // Ratio[0] of what the section was composed over
        QTest::addColumn<QStringList>("keep");

        const auto fill = int(SectionPolicy::FillDefaults);
        const auto refuse = int(SectionPolicy::RefuseDamaged);
        QTest::newRow("window: over the images")
            << fill << false << true << QString() << 3.0f << QStringList{};
        QTest::newRow("window: a missing key takes its default")
            << fill << true << true << QString() << 3.0f << QStringList{};
        QTest::newRow("command line: over the meter's records")
            << refuse << false << true << QString() << 2.0f << QStringList{};
        QTest::newRow("command line: a damaged section refused")
            << refuse << true << true << QStringLiteral("s.ini [111111]: damaged: Zajzár missing") << 0.0f
            << QStringList{};
        QTest::newRow("command line: nothing before the meter's records are read")
            << refuse << false << false << QStringLiteral("not read yet") << 0.0f << QStringList{};
        QTest::newRow("command line: a kept element keeps the meter's value")
            << refuse << false << true << QString() << 2.0f << QStringList{"Ratio[1]"};
        QTest::newRow("command line: a kept element past its field refused")
            << refuse << false << true << QStringLiteral("no field Ratio[9] to keep") << 0.0f
            << QStringList{"Ratio[9]"};
    }
    void sectionPolicies()
    {
        QFETCH(int, policy);
        QFETCH(bool, damaged);
        QFETCH(bool, meterRead);
        QFETCH(QString, error);
        QFETCH(float, base);
        QFETCH(QStringList, keep);
        Bench b;
        set(b.ram2, ram2::Ratio, 0, 2.0f); // the meter's
        if (meterRead)
            b.identified();
        Ram2Image edited = b.images.ram2;
        set(edited, ram2::Ratio, 0, 3.0f); // the images, as a load left them
        constexpr MemoryRecord kLoaded[] = {MemoryRecord::Ram2};
        b.session.imagesLoaded(kLoaded, 111111u);
        b.images.ram2 = edited;
        const SectionReader reader = [&](Ram2Image& r2, Ram3Image&, QStringList* defaulted, QString*) {
            set(r2, ram2::Ratio, 1, 75.5f);
            if (damaged)
                *defaulted << QStringLiteral("Zajzár");
            return true;
        };
        QString why;
        const auto c = b.session.composeSection(reader, SectionPolicy(policy), keep,
                                                QStringLiteral("s.ini [111111]"), &why);
        QCOMPARE(!c, !error.isEmpty());
        if (!c) {
            QVERIFY2(why.contains(error), qPrintable(why));
            return;
        }
        QCOMPARE(get(c->ram2, ram2::Ratio, 0), base);
        QCOMPARE(get(c->ram2, ram2::Ratio, 1), keep.isEmpty() ? 75.5f : 0.0f); // kept: the meter's
        QCOMPARE(c->owner, 111111u);
        if (!keep.isEmpty())
            return;
        // A composed section written as it stands carries only the records it changes.
        const WriteProposal p = b.session.sectionWrite(*c);
        QVERIFY(p.ram2 && !p.ram3 && !p.ram1);
    }

    void demandSourcesFollowTheModule_data()
    {
        QTest::addColumn<int>("modul1");
        QTest::addColumn<int>("din");     // DinPolarity the editors packed
        QTest::addColumn<int>("written"); // DinPolarity that goes to the meter
        QTest::newRow("no module: both sources internal") << 0 << 0x21 << 0xE1;
        QTest::newRow("two outputs: both sources internal") << 1 << 0x20 << 0xE0;
        QTest::newRow("the module with inputs: as packed") << 2 << 0x21 << 0x21;
        QTest::newRow("a module code this program does not know: as packed") << 9 << 0x20 << 0x20;
    }
    void demandSourcesFollowTheModule()
    {
        QFETCH(int, modul1);
        QFETCH(int, din);
        QFETCH(int, written);
        Bench b(111111, modul1);
        b.identified();
        Ram2Image r2 = b.images.ram2;
        set(r2, ram2::DinPolarity, std::uint16_t(din));
        QVERIFY(b.session.submit(b.session.editors(r2, b.images.ram3)));
        QCOMPARE(int(get(b.images.ram2, ram2::DinPolarity)), written);
        // The command line's section write too.
        ComposedSection section{r2, b.images.ram3, 111111, {}};
        set(section.ram2, ram2::Zajzar, 0.5f);
        section.changes = diffRecord(MemoryRecord::Ram2, b.ram2, section.ram2);
        QVERIFY(b.session.submit(b.session.sectionWrite(section)));
        QCOMPARE(int(get(b.images.ram2, ram2::DinPolarity)), written);
    }

    /// Every notice has its words in both languages, and each names what it is about.
    void noticeTexts_data()
    {
        QTest::addColumn<int>("kind");
        for (int k = 0; k <= int(WriteNotice::Kind::JournalFailed); ++k)
            QTest::newRow(qPrintable(QString::number(k))) << k;
    }
    void noticeTexts()
    {
        QFETCH(int, kind);
        WriteNotice n;
        n.kind = WriteNotice::Kind(kind);
        n.record = MemoryRecord::Ram2;
        n.meter = 111111;
        n.other = 222222;
        n.reason = QStringLiteral("disk full");
        n.differences = diffRecord(MemoryRecord::Ram2, Ram2Image{}, [] {
            Ram2Image r;
            set(r, ram2::MB01Addr, std::uint8_t(7));
            return r;
        }());
        const QString hu = writeNoticeText(n, Language::Hungarian);
        const QString en = writeNoticeText(n, Language::English);
        QVERIFY(!hu.isEmpty() && !en.isEmpty() && hu != en);
        for (const QString& text : {hu, en}) {
            QVERIFY2(!text.contains(QLatin1Char('%')), qPrintable(text)); // every place filled
            if (n.kind != WriteNotice::Kind::JournalFailed && n.kind != WriteNotice::Kind::FactoryKept)
                QVERIFY2(text.contains(QStringLiteral("RAM2")), qPrintable(text));
            if (n.kind != WriteNotice::Kind::LoadReplaced)
                QVERIFY2(text.contains(QStringLiteral("111111")), qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(TstWriteSession)
#include "tst_write_session.moc"
