#include "config/IniProfile.h"
#include "config/MeterHistory.h"
#include "config/SettingsFile.h"
#include "device/FieldTable.h"
#include "protocol/Crc.h"
#include "records/FieldValue.h"
#include "records/RecordLayout.h"
#include "tests/FileSizeLimit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace kvam;

Q_DECLARE_METATYPE(kvam::JournalEntry)

namespace {

constexpr std::uint32_t kMeter = 123456;
const QDateTime kClock(QDate(2024, 3, 5), QTime(7, 8, 9, 123), Qt::UTC);
const QString kFirstStamp = QStringLiteral("20240305T070809123Z");

enum Held
{
    HoldRam1 = 1,
    HoldRam2 = 2,
    HoldRam3 = 4,
};

template <std::size_t N> std::span<std::uint8_t> span(ByteImage<N>& image)
{
    return {image.data(), image.size()};
}

// Arbitrary bytes, but finite numbers in the float fields: the settings section writes them as text.
template <std::size_t N> ByteImage<N> patterned(const char* record, std::uint32_t seed)
{
    ByteImage<N> image;
    std::uint32_t x = seed * 2654435761u + 17;
    for (std::size_t i = 0; i < N; ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<std::uint8_t>(x >> 16);
    }
    for (const FieldInfo& f : findRecordLayout(record)->fields)
        if (f.type == FieldType::f32)
            for (std::size_t i = 0; i < f.count; ++i) {
                x = x * 1103515245u + 12345u;
                writeNumber(span(image), f, i, double(int(x >> 12) % 200000 - 100000) / 64.0);
            }
    return image;
}

MeterRecords records(int held, std::uint32_t seed)
{
    MeterRecords r;
    r.Gyartasiszam = kMeter;
    if (held & HoldRam1)
        r.ram1 = patterned<ram1::kSize>("RAM1", seed);
    if (held & HoldRam2)
        r.ram2 = patterned<ram2::kSize>("RAM2", seed + 100);
    if (held & HoldRam3)
        r.ram3 = patterned<ram3::kSize>("RAM3", seed + 200);
    return r;
}

std::vector<MemoryRecord> heldRecords(int held)
{
    std::vector<MemoryRecord> list;
    if (held & HoldRam1)
        list.push_back(MemoryRecord::Ram1);
    if (held & HoldRam2)
        list.push_back(MemoryRecord::Ram2);
    if (held & HoldRam3)
        list.push_back(MemoryRecord::Ram3);
    return list;
}

// The image with every byte no settings key covers set to `fill`: what a load into an image of
// `fill` bytes must give.
template <std::size_t N>
ByteImage<N> coveredOnly(const ByteImage<N>& image, std::span<const ConfigField> table, std::uint8_t fill)
{
    ByteImage<N> out;
    out.fill(fill);
    for (const ConfigField& f : table)
        std::memcpy(out.data() + f.info().offset, image.data() + f.info().offset, f.info().size());
    return out;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(bytes) == bytes.size();
}

// Every entry under `folder` with its kind and contents: what a failed call must leave as it was.
QStringList snapshot(const QString& folder)
{
    QStringList out;
    const QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(
             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        if (info.isDir()) {
            out << info.fileName() + QLatin1Char('/');
            for (const QString& inner : snapshot(info.filePath()))
                out << info.fileName() + QLatin1Char('/') + inner;
        } else {
            out << info.fileName() + QLatin1Char(' ') +
                       QCryptographicHash::hash(readAll(info.filePath()), QCryptographicHash::Md5).toHex();
        }
    }
    return out;
}

FieldChange change(MemoryRecord record, const char* name, std::size_t index, double before, double after)
{
    return {record, memoryRecordLayout(record).field(name), index, before, after};
}

JournalEntry entry(WriteOutcome outcome)
{
    JournalEntry e;
    e.time = QDateTime(QDate(2024, 3, 5), QTime(8, 9, 10, 45), Qt::OffsetFromUTC, 3600);
    e.user = QStringLiteral("anna");
    e.Gyartasiszam = kMeter;
    e.record = MemoryRecord::Ram2;
    e.changes = {change(MemoryRecord::Ram2, "Ratio", 1, 70, 75.5),
                 change(MemoryRecord::Ram2, "Zajzar", 0, 0.5, 0.6)};
    e.outcome = outcome;
    return e;
}

} // namespace

class TstMeterHistory : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void journalLines_data();
    void journalLines();
    void badCases_data();
    void badCases();
};

void TstMeterHistory::roundTrip_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("count");
    QTest::newRow("RAM2 and RAM3") << (HoldRam2 | HoldRam3) << 2 << 1;
    QTest::newRow("RAM3 alone") << int(HoldRam3) << 3 << 1;
    QTest::newRow("RAM1") << int(HoldRam1) << 1 << 1;
    QTest::newRow("all three") << (HoldRam1 | HoldRam2 | HoldRam3) << 2 << 1;
    // -2 ... -11 behind one stamp: "-10" and "-11" are newer than "-9".
    QTest::newRow("eleven in one millisecond") << (HoldRam2 | HoldRam3) << 2 << 11;
    // Nothing read: nothing to restore, but the journal must still take the write's line.
    QTest::newRow("nothing held") << 0 << 2 << 1;
}

void TstMeterHistory::roundTrip()
{
    QFETCH(int, held);
    QFETCH(int, written);
    QFETCH(int, count);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    MeterHistory history(tmp.filePath(QStringLiteral("a/history")));
    history.setClock([] { return kClock; });
    const QString folder = history.meterFolder(kMeter);

    std::vector<MeterRecords> taken;
    for (int k = 0; k < count; ++k) {
        taken.push_back(records(held, std::uint32_t(k + 1)));
        QString reason;
        QVERIFY2(history.backup(taken.back(), MemoryRecord(written), &reason), qPrintable(reason));
    }

    QString reason;
    const std::vector<BackupInfo> list = history.backups(kMeter, &reason);
    QVERIFY2(reason.isEmpty(), qPrintable(reason));
    QCOMPARE(list.size(), held ? std::size_t(count) : std::size_t(0));
    QStringList expectedFiles{QStringLiteral("journal.txt")};
    for (std::size_t i = 0; i < list.size(); ++i) {
        const BackupInfo& info = list[i];
        const MeterRecords& original = taken[list.size() - 1 - i];
        const QString stamp =
            i + 1 == list.size() ? kFirstStamp : kFirstStamp + QStringLiteral("-%1").arg(list.size() - i);
        QCOMPARE(info.id, stamp);
        QVERIFY2(!info.damaged, qPrintable(info.damage));
        QCOMPARE(info.time, kClock);
        QCOMPARE(info.meter, kMeter);
        QCOMPARE(info.written, std::optional<MemoryRecord>(MemoryRecord(written)));
        QCOMPARE(info.records, heldRecords(held));

        const std::optional<MeterRecords> loaded = history.loadBackup(kMeter, info.id, &reason);
        QVERIFY2(loaded, qPrintable(reason));
        QCOMPARE(loaded->Gyartasiszam, kMeter);
        QVERIFY(loaded->ram1 == original.ram1);
        QVERIFY(loaded->ram2 == original.ram2);
        QVERIFY(loaded->ram3 == original.ram3);

        const QString ini = QDir(folder).filePath(info.id + QLatin1String(".ini"));
        const IniProfile manifest = IniProfile::parse(readAll(ini));
        QStringList names;
        for (MemoryRecord r : info.records) {
            const QString name = QString::fromLatin1(memoryRecordName(r));
            const QString file = info.id + QLatin1Char('.') + name.toLower();
            const QByteArray bytes = readAll(QDir(folder).filePath(file));
            const auto crc = CalculateCRC(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                    std::size_t(bytes.size())));
            QCOMPARE(manifest.readInt(QStringLiteral("Backup"), name + QLatin1String("Size"), -1),
                     std::int32_t(bytes.size()));
            QCOMPARE(manifest.readInt(QStringLiteral("Backup"), name + QLatin1String("Crc"), -1),
                     std::int32_t(crc));
            names << name;
            expectedFiles << file;
        }
        QCOMPARE(manifest.value(QStringLiteral("Backup"), QStringLiteral("Records")).value_or(QString()),
                 names.join(QLatin1Char(',')));
        QCOMPARE(manifest.value(QStringLiteral("Backup"), QStringLiteral("Written")).value_or(QString()),
                 QString::fromLatin1(memoryRecordName(MemoryRecord(written))));
        QCOMPARE(manifest.value(QStringLiteral("Backup"), QStringLiteral("Meter")).value_or(QString()),
                 QString::number(kMeter));
        expectedFiles << info.id + QLatin1String(".ini");

        // The configuration section loads back through the settings codec.
        const QString section = QString::number(kMeter);
        if (original.ram2 && original.ram3) {
            Ram2Image r2;
            Ram3Image r3;
            r2.fill(0xEE);
            r3.fill(0xEE);
            QVERIFY2(loadSettings(ini, section, r2, r3, QLocale::c(), &reason), qPrintable(reason));
            QVERIFY(r2 == coveredOnly(*original.ram2, ram2ConfigFields(), 0xEE));
            QVERIFY(r3 == coveredOnly(*original.ram3, ram3ConfigFields(), 0xEE));
        } else {
            QVERIFY(!settingsSections(ini).contains(section));
        }
    }
    // Only the backups' files and the (empty) journal: no parts, no temporary files.
    expectedFiles.sort();
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             expectedFiles);
    QCOMPARE(QFileInfo(QDir(folder).filePath(QStringLiteral("journal.txt"))).size(), qint64(0));
    QCOMPARE(history.meters(), std::vector<std::uint32_t>{kMeter});
}

void TstMeterHistory::journalLines_data()
{
    QTest::addColumn<JournalEntry>("entry");
    QTest::addColumn<QString>("line");
    const QString head = QStringLiteral("2024-03-05T08:09:10.045+01:00\tanna\tRAM2\t");
    const QString changes = QStringLiteral("Ratio[1] 70 -> 75.5; Zajzar 0.5 -> 0.6\t");

    QTest::newRow("verified") << entry(WriteOutcome::Verified) << head + changes + QStringLiteral("verified");
    JournalEntry differs = entry(WriteOutcome::Differs);
    differs.differences = {change(MemoryRecord::Ram2, "Ratio", 1, 75.5, 70),
                           change(MemoryRecord::Ram2, "Zajzar", 0, 0.6, 1.0 / 3)};
    QTest::newRow("differs") << differs
                             << head + changes +
                                    QStringLiteral(
                                        "differs: Ratio[1] written 75.5 read 70; Zajzar written 0.6 "
                                        "read 0.3333333333");
    QTest::newRow("not acknowledged")
        << entry(WriteOutcome::NotAcknowledged) << head + changes + QStringLiteral("not acknowledged");
    JournalEntry other = entry(WriteOutcome::OtherMeter);
    other.otherMeter = 222222;
    QTest::newRow("other meter") << other << head + changes + QStringLiteral("other meter: 222222 answered");
    JournalEntry user = entry(WriteOutcome::Verified);
    user.user = QStringLiteral("an\tna\r\nkovács");
    QTest::newRow("tabs and line breaks in the user name")
        << user
        << QStringLiteral("2024-03-05T08:09:10.045+01:00\tan na  kovács\tRAM2\t") + changes +
               QStringLiteral("verified");
    JournalEntry ram3 = entry(WriteOutcome::Verified);
    ram3.record = MemoryRecord::Ram3;
    ram3.changes = {change(MemoryRecord::Ram3, "Gyartasiszam", 0, 4294967295.0, 123456),
                    change(MemoryRecord::Ram3, "RMSCoeff", 2, 1e-7, -2.5e20)};
    QTest::newRow("RAM3, wide numbers")
        << ram3
        << QStringLiteral("2024-03-05T08:09:10.045+01:00\tanna\tRAM3\tGyartasiszam 4294967295 -> 123456; "
                          "RMSCoeff[2] 1e-07 -> -2.5e+20\tverified");
    JournalEntry none = entry(WriteOutcome::NotAcknowledged);
    none.record = MemoryRecord::Ram1;
    none.changes.clear();
    QTest::newRow("no changes") << none
                                << QStringLiteral(
                                       "2024-03-05T08:09:10.045+01:00\tanna\tRAM1\t\tnot acknowledged");
}

void TstMeterHistory::journalLines()
{
    QFETCH(JournalEntry, entry);
    QFETCH(QString, line);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    MeterHistory history(tmp.path());
    QString reason;
    QVERIFY2(history.journal(entry, &reason), qPrintable(reason));
    const QString path = QDir(history.meterFolder(kMeter)).filePath(QStringLiteral("journal.txt"));
    const QByteArray first = readAll(path);
    QCOMPARE(first, line.toUtf8() + '\n');

    // The second line is appended: the first keeps its bytes.
    QVERIFY2(history.journal(entry, &reason), qPrintable(reason));
    QCOMPARE(readAll(path), first + first);

    std::size_t damaged = 1;
    const std::vector<JournalLine> lines = history.readJournal(kMeter, &reason, &damaged);
    QCOMPARE(lines.size(), std::size_t(2));
    QCOMPARE(damaged, std::size_t(0));
    const JournalLine& read = lines.back();
    QVERIFY(!read.damaged);
    QCOMPARE(read.text, line);
    QCOMPARE(read.time, entry.time);
    QCOMPARE(read.user, line.section(QLatin1Char('\t'), 1, 1));
    QCOMPARE(read.record, entry.record);
    QCOMPARE(read.changes, line.section(QLatin1Char('\t'), 3, 3));
    QCOMPARE(read.outcome, entry.outcome);
    QCOMPARE(read.outcomeText, line.section(QLatin1Char('\t'), 4, 4));
}

namespace {

enum class Bad
{
    RootIsFile,
    MeterFolderIsFile,
    JournalIsFolder,
    ReadOnlyFolder,
    DiskFullDuringBackup,
    DiskFullDuringJournal,
    TruncatedRaw,
    LongerRaw,
    FlippedByte,
    MissingManifest,
    GarbageManifest,
    ForeignManifest,
    GarbageJournal,
    NotABackupName,
};

} // namespace

Q_DECLARE_METATYPE(Bad)

void TstMeterHistory::badCases_data()
{
    QTest::addColumn<Bad>("bad");
    QTest::newRow("a file where the root folder should be") << Bad::RootIsFile;
    QTest::newRow("a file where the meter's folder should be") << Bad::MeterFolderIsFile;
    QTest::newRow("journal is a folder") << Bad::JournalIsFolder;
    QTest::newRow("read-only meter folder") << Bad::ReadOnlyFolder;
    QTest::newRow("disk full while the manifest is written") << Bad::DiskFullDuringBackup;
    QTest::newRow("disk full in the middle of a journal line") << Bad::DiskFullDuringJournal;
    QTest::newRow("truncated raw file") << Bad::TruncatedRaw;
    QTest::newRow("raw file longer than its record") << Bad::LongerRaw;
    QTest::newRow("flipped byte") << Bad::FlippedByte;
    // A backup cut short before its manifest is listed, marked damaged, and never restored.
    QTest::newRow("missing manifest") << Bad::MissingManifest;
    QTest::newRow("garbage manifest") << Bad::GarbageManifest;
    QTest::newRow("manifest of another meter") << Bad::ForeignManifest;
    QTest::newRow("garbage journal lines") << Bad::GarbageJournal;
    QTest::newRow("backup name leaving the folder") << Bad::NotABackupName;
}

void TstMeterHistory::badCases()
{
    QFETCH(Bad, bad);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString root = tmp.filePath(QStringLiteral("history"));
    MeterHistory history(root);
    const QString folder = history.meterFolder(kMeter);
    const auto inFolder = [&](const QString& name) { return QDir(folder).filePath(name); };
    const MeterRecords good = records(HoldRam2 | HoldRam3, 7);
    QString reason;

    // Write attempts that must fail and leave every file as it was.
    const auto refused = [&](const char* what) {
        const QStringList before = snapshot(tmp.path());
        reason.clear();
        QVERIFY2(!history.backup(good, MemoryRecord::Ram2, &reason), what);
        QVERIFY2(!reason.isEmpty(), what);
        QCOMPARE(snapshot(tmp.path()), before);
        reason.clear();
        QVERIFY2(!history.journal(entry(WriteOutcome::Verified), &reason), what);
        QVERIFY2(!reason.isEmpty(), what);
        QCOMPARE(snapshot(tmp.path()), before);
    };
    // A backup that is listed, marked damaged, refused, and leaves the other backup loadable.
    const auto damaged = [&](const QString& id, const QString& kept) {
        const std::vector<BackupInfo> list = history.backups(kMeter, &reason);
        QCOMPARE(list.size(), std::size_t(2));
        const auto it =
            std::find_if(list.begin(), list.end(), [&](const BackupInfo& b) { return b.id == id; });
        QVERIFY(it != list.end());
        QVERIFY(it->damaged);
        QVERIFY(!it->damage.isEmpty());
        const QStringList before = snapshot(tmp.path());
        reason.clear();
        QVERIFY(!history.loadBackup(kMeter, id, &reason));
        QVERIFY(!reason.isEmpty());
        QCOMPARE(snapshot(tmp.path()), before);
        const auto other =
            std::find_if(list.begin(), list.end(), [&](const BackupInfo& b) { return b.id == kept; });
        QVERIFY(other != list.end());
        QVERIFY2(!other->damaged, qPrintable(other->damage));
        const std::optional<MeterRecords> loaded = history.loadBackup(kMeter, kept, &reason);
        QVERIFY2(loaded, qPrintable(reason));
        QVERIFY(loaded->ram2 == good.ram2 && loaded->ram3 == good.ram3);
    };
    // Two good backups, the first (older) to be damaged.
    const auto twoBackups = [&] {
        history.setClock([] { return kClock; });
        QVERIFY2(history.backup(good, MemoryRecord::Ram2, &reason), qPrintable(reason));
        QVERIFY2(history.backup(good, MemoryRecord::Ram2, &reason), qPrintable(reason));
    };
    const QString second = kFirstStamp + QLatin1String("-2");

    switch (bad) {
    case Bad::RootIsFile:
        QVERIFY(writeAll(root, "not a folder"));
        refused("root");
        QCOMPARE(history.meters(), std::vector<std::uint32_t>{});
        break;
    case Bad::MeterFolderIsFile:
        QVERIFY(QDir().mkpath(root));
        QVERIFY(writeAll(folder, "not a folder"));
        refused("meter folder");
        QVERIFY(history.backups(kMeter, &reason).empty());
        QVERIFY(!reason.isEmpty());
        break;
    case Bad::JournalIsFolder:
        QVERIFY(QDir().mkpath(inFolder(QStringLiteral("journal.txt"))));
        refused("journal");
        reason.clear();
        QVERIFY(history.readJournal(kMeter, &reason).empty());
        QVERIFY(!reason.isEmpty());
        break;
    case Bad::ReadOnlyFolder: {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        twoBackups();
        QVERIFY(chmod(QFile::encodeName(folder).constData(), 0555) == 0);
        const QStringList before = snapshot(tmp.path());
        reason.clear();
        const bool written = history.backup(good, MemoryRecord::Ram2, &reason);
        chmod(QFile::encodeName(folder).constData(), 0755);
        QVERIFY(!written);
        QVERIFY(!reason.isEmpty());
        QCOMPARE(snapshot(tmp.path()), before);
        break;
    }
    case Bad::DiskFullDuringBackup: {
        // The raw files fit under the limit, the manifest does not: they must go again.
        QVERIFY2(history.journal(entry(WriteOutcome::Verified), &reason), qPrintable(reason));
        const QStringList before = snapshot(tmp.path());
        reason.clear();
        bool written = true;
        {
            FileSizeLimit limit(1024);
            QVERIFY(limit.active());
            written = history.backup(good, MemoryRecord::Ram2, &reason);
        }
        QVERIFY(!written);
        QVERIFY(!reason.isEmpty());
        QCOMPARE(snapshot(tmp.path()), before);
        break;
    }
    case Bad::DiskFullDuringJournal: {
        QVERIFY2(history.journal(entry(WriteOutcome::Verified), &reason), qPrintable(reason));
        const QByteArray kept = readAll(inFolder(QStringLiteral("journal.txt")));
        reason.clear();
        bool written = true;
        {
            FileSizeLimit limit(kept.size() + 20);
            QVERIFY(limit.active());
            written = history.journal(entry(WriteOutcome::Differs), &reason);
        }
        QVERIFY(!written);
        QVERIFY(!reason.isEmpty());
        QCOMPARE(readAll(inFolder(QStringLiteral("journal.txt"))), kept);
        break;
    }
    case Bad::TruncatedRaw: {
        twoBackups();
        QFile raw(inFolder(kFirstStamp + QLatin1String(".ram2")));
        QVERIFY(raw.resize(200));
        damaged(kFirstStamp, second);
        break;
    }
    case Bad::LongerRaw:
        twoBackups();
        QVERIFY(writeAll(inFolder(kFirstStamp + QLatin1String(".ram3")), "tail", QIODevice::Append));
        damaged(kFirstStamp, second);
        break;
    case Bad::FlippedByte: {
        twoBackups();
        const QString path = inFolder(kFirstStamp + QLatin1String(".ram3"));
        QByteArray bytes = readAll(path);
        bytes[77] = char(bytes[77] ^ 0x10);
        QVERIFY(writeAll(path, bytes));
        damaged(kFirstStamp, second);
        break;
    }
    case Bad::MissingManifest:
        twoBackups();
        QVERIFY(QFile::remove(inFolder(second + QLatin1String(".ini"))));
        damaged(second, kFirstStamp);
        break;
    case Bad::GarbageManifest:
        twoBackups();
        QVERIFY(writeAll(inFolder(kFirstStamp + QLatin1String(".ini")),
                         QByteArray("\xff\xfe[Back\0up]\nTime=", 16)));
        damaged(kFirstStamp, second);
        break;
    case Bad::ForeignManifest: {
        // Copied from another meter's folder: its files are whole, but not this meter's.
        twoBackups();
        const QString path = inFolder(kFirstStamp + QLatin1String(".ini"));
        QVERIFY(writeAll(path, readAll(path).replace("Meter=123456", "Meter=654321")));
        damaged(kFirstStamp, second);
        break;
    }
    case Bad::GarbageJournal: {
        const QString path = inFolder(QStringLiteral("journal.txt"));
        QVERIFY(history.journal(entry(WriteOutcome::Verified), &reason));
        QVERIFY(history.journal(entry(WriteOutcome::NotAcknowledged), &reason));
        const QList<QByteArray> garbage{
            QByteArray("garbage"),
            QByteArray("\x00\xff\xfe binary", 10),
            QByteArray("yesterday\tanna\tRAM2\t\tverified"),
            QByteArray("2024-03-05T08:09:10.045+01:00\tanna\tRAM4\t\tverified"),
            QByteArray("2024-03-05T08:09:10.045+01:00\tanna\tRAM2\tRatio[1] 70 75.5\tverified"),
            QByteArray("2024-03-05T08:09:10.045+01:00\tanna\tRAM2\t\tlost"),
            QByteArray(""),
        };
        QVERIFY(writeAll(path, garbage.join('\n') + '\n', QIODevice::Append));
        // A line cut short: the next one must not continue it.
        QVERIFY(writeAll(path, "2024-03-05T08:09:10.045+01:00\tan", QIODevice::Append));
        const QByteArray before = readAll(path);
        QVERIFY2(history.journal(entry(WriteOutcome::Verified), &reason), qPrintable(reason));
        QVERIFY(readAll(path).startsWith(before));

        std::size_t count = 0;
        reason.clear();
        const std::vector<JournalLine> lines = history.readJournal(kMeter, &reason, &count);
        QCOMPARE(lines.size(), std::size_t(garbage.size()) + 4);
        QCOMPARE(count, std::size_t(garbage.size()) + 1);
        QVERIFY(!reason.isEmpty());
        for (qsizetype g = 0; g < garbage.size(); ++g) {
            QVERIFY(lines[std::size_t(2 + g)].damaged);
            QCOMPARE(lines[std::size_t(2 + g)].text, QString::fromUtf8(garbage[g]));
        }
        QVERIFY(!lines[0].damaged && !lines[1].damaged && !lines.back().damaged);
        QCOMPARE(lines[1].outcome, WriteOutcome::NotAcknowledged);
        QCOMPARE(lines.back().text, MeterHistory::journalLine(entry(WriteOutcome::Verified)));
        break;
    }
    case Bad::NotABackupName: {
        twoBackups();
        const QStringList before = snapshot(tmp.path());
        for (const QString& id : {QStringLiteral("../123456/") + kFirstStamp,
                                  kFirstStamp + QLatin1String("/.."), QString(), QStringLiteral("journal"),
                                  kFirstStamp + QLatin1String("-0"), QStringLiteral("20240305T070809124Z")}) {
            reason.clear();
            QVERIFY2(!history.loadBackup(kMeter, id, &reason), qPrintable(id));
            QVERIFY2(!reason.isEmpty(), qPrintable(id));
        }
        QCOMPARE(snapshot(tmp.path()), before);
        break;
    }
    }
}

QTEST_GUILESS_MAIN(TstMeterHistory)
#include "tst_meter_history.moc"
