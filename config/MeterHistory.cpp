#include "config/MeterHistory.h"

#include "config/IniProfile.h"
#include "config/SettingsFile.h"
#include "config/WholeFile.h"
#include "log/AppendLine.h"
#include "protocol/Crc.h"
#include "records/RecordLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <set>
#include <span>
#include <system_error>
#include <utility>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace kvam {

namespace {

const QLatin1String kJournalName("journal.txt");
const QString kManifestSection = QStringLiteral("Backup");

bool fail(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

QString recordName(MemoryRecord record)
{
    return QString::fromLatin1(memoryRecordName(record));
}

std::optional<MemoryRecord> recordNamed(QStringView name)
{
    for (MemoryRecord r : kAllMemoryRecords)
        if (name == QLatin1String(memoryRecordName(r)))
            return r;
    return std::nullopt;
}

QString rawSuffix(MemoryRecord record)
{
    return QLatin1Char('.') + recordName(record).toLower();
}

// A backup's stamp: the UTC millisecond, and the number of the backup within it (1 for the first).
const QRegularExpression& stampPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{8}T\\d{9}Z)(?:-([1-9]\\d{0,8}))?$"));
    return pattern;
}

// The names of a backup's files: the raw records and the manifest.
const QRegularExpression& backupFilePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{8}T\\d{9}Z(?:-[1-9]\\d{0,8})?)\\.(?:ram1|ram2|ram3|ini)$"));
    return pattern;
}

const QString kStampFormat = QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'");

// Sorts stamps by time, then by their number within the millisecond ("-10" after "-9").
std::pair<QString, int> stampOrder(const QString& id)
{
    const QRegularExpressionMatch m = stampPattern().match(id);
    return {m.captured(1), m.hasCaptured(2) ? m.captured(2).toInt() : 1};
}

QDateTime stampTime(const QString& id)
{
    QDateTime t = QDateTime::fromString(stampPattern().match(id).captured(1), kStampFormat);
    t.setTimeSpec(Qt::UTC);
    return t;
}

// ISO 8601 with milliseconds and the offset from UTC the time was taken in.
QString isoTime(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString systemReason(const QString& path, const std::error_code& ec)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(ec.message().c_str()));
}

// Creates the folder and those above it; QDir::mkpath would not say why it failed.
bool makeFolder(const QString& path, QString* reason)
{
    const std::filesystem::path p(QFile::encodeName(path).toStdString());
    std::error_code ec;
    std::filesystem::create_directories(p, ec);
    if (ec)
        return fail(reason, systemReason(path, ec));
    if (!std::filesystem::is_directory(p, ec))
        return fail(reason, ec ? systemReason(path, ec) : QStringLiteral("%1: is not a folder").arg(path));
    return true;
}

// The file's bytes, or its first `most` bytes when `most` is not negative.
bool readFile(const QString& path, QByteArray& bytes, QString* reason, qint64 most = -1)
{
    if (QFileInfo(path).isDir())
        return fail(reason, QStringLiteral("%1: is a folder").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(reason, QStringLiteral("%1: %2").arg(path, file.errorString()));
    bytes = most < 0 ? file.readAll() : file.read(most);
    if (file.error() != QFileDevice::NoError)
        return fail(reason, QStringLiteral("%1: %2").arg(path, file.errorString()));
    return true;
}

// The journal can take a line: it opens for appending (and is created when missing).
bool journalWritable(const QString& path, QString* reason)
{
    if (QFileInfo(path).isDir())
        return fail(reason, QStringLiteral("%1: is a folder").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fail(reason, QStringLiteral("%1: %2").arg(path, file.errorString()));
    return true;
}

std::uint16_t crcOf(const QByteArray& bytes)
{
    return CalculateCRC(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
}

QString crcText(std::uint16_t crc)
{
    return QLatin1String("0x") + QString::number(crc, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

template <std::size_t N> QByteArray bytesOf(const ByteImage<N>& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(N));
}

template <std::size_t N> std::optional<ByteImage<N>> imageOf(const QByteArray& bytes)
{
    if (bytes.size() != qsizetype(N))
        return std::nullopt;
    ByteImage<N> image;
    image.copyFrom(reinterpret_cast<const std::uint8_t*>(bytes.constData()));
    return image;
}

// A stamp is taken when any file of a backup has it.
bool stampTaken(const QDir& dir, const QString& stamp)
{
    for (MemoryRecord r : kAllMemoryRecords)
        if (QFileInfo::exists(dir.filePath(stamp + rawSuffix(r))))
            return true;
    return QFileInfo::exists(dir.filePath(stamp + QLatin1String(".ini")));
}

// What the manifest says about one raw file.
struct Expected
{
    qint64 size = -1;
    int crc = -1;
};

struct Inspection
{
    bool found = false; ///< some file of the backup exists
    BackupInfo info;
    MeterRecords records;
};

// Reads the manifest and every raw file it names and checks them against each other; without a
// manifest the raw files present are named (the backup is damaged either way).
Inspection inspect(const QDir& dir, std::uint32_t meter, const QString& id)
{
    Inspection in;
    in.info.id = id;
    in.info.meter = meter;
    in.info.time = stampTime(id);
    in.records.Gyartasiszam = meter;
    QStringList problems;
    std::array<Expected, 4> expected{};
    std::vector<MemoryRecord> named;
    bool manifestRead = false;

    const QString manifestPath = dir.filePath(id + QLatin1String(".ini"));
    if (!QFileInfo::exists(manifestPath)) {
        problems << QStringLiteral("incomplete: %1.ini is missing").arg(id);
        for (MemoryRecord r : kAllMemoryRecords)
            if (QFileInfo::exists(dir.filePath(id + rawSuffix(r))))
                named.push_back(r);
        in.found = !named.empty();
    } else {
        in.found = true;
        QByteArray bytes;
        QString why;
        if (!readFile(manifestPath, bytes, &why)) {
            problems << QStringLiteral("manifest unreadable: %1").arg(why);
        } else {
            const IniProfile manifest = IniProfile::parse(bytes);
            const auto value = [&](const QString& key) {
                return manifest.value(kManifestSection, key).value_or(QString());
            };
            if (!manifest.hasSection(kManifestSection)) {
                problems << QStringLiteral("manifest unreadable: no [Backup] section");
            } else {
                manifestRead = true;
                const QDateTime time =
                    QDateTime::fromString(value(QStringLiteral("Time")), Qt::ISODateWithMs);
                if (time.isValid())
                    in.info.time = time;
                else
                    problems << QStringLiteral("manifest: no valid Time");
                bool ok = false;
                const qulonglong owner = value(QStringLiteral("Meter")).toULongLong(&ok);
                if (!ok || owner != meter)
                    problems << QStringLiteral("manifest: Meter \"%1\" is not %2")
                                    .arg(value(QStringLiteral("Meter")))
                                    .arg(meter);
                in.info.written = recordNamed(value(QStringLiteral("Written")));
                if (!in.info.written)
                    problems << QStringLiteral("manifest: Written \"%1\" is no record")
                                    .arg(value(QStringLiteral("Written")));
                const QString list = value(QStringLiteral("Records"));
                for (const QString& part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                    const std::optional<MemoryRecord> r = recordNamed(part.trimmed());
                    if (!r || std::find(named.begin(), named.end(), *r) != named.end()) {
                        problems
                            << QStringLiteral("manifest: Records \"%1\" is no list of records").arg(list);
                        break;
                    }
                    named.push_back(*r);
                }
                if (named.empty())
                    problems << QStringLiteral("manifest: names no record");
                for (MemoryRecord r : named) {
                    const QString key = recordName(r);
                    Expected& e = expected[std::size_t(r)];
                    bool sizeOk = false;
                    e.size = value(key + QLatin1String("Size")).toLongLong(&sizeOk);
                    const std::optional<std::int32_t> crc =
                        IniProfile::parseInt(value(key + QLatin1String("Crc")));
                    if (!sizeOk || !crc || *crc < 0 || *crc > 0xFFFF) {
                        problems << QStringLiteral("manifest: no size or CRC of %1").arg(key);
                        e = {};
                    } else {
                        e.crc = *crc;
                    }
                }
            }
        }
    }

    std::sort(named.begin(), named.end());
    for (MemoryRecord r : named) {
        const QString name = recordName(r);
        const QString path = dir.filePath(id + rawSuffix(r));
        QByteArray bytes;
        QString why;
        if (!QFileInfo::exists(path)) {
            problems << QStringLiteral("%1 file %2 is missing").arg(name, QFileInfo(path).fileName());
            continue;
        }
        const std::size_t size = memoryRecordLayout(r).size;
        // One byte more than the record is enough to tell a longer file.
        if (!readFile(path, bytes, &why, qint64(size) + 1)) {
            problems << why;
            continue;
        }
        const Expected& e = expected[std::size_t(r)];
        if (bytes.size() != qsizetype(size)) {
            problems
                << (bytes.size() > qsizetype(size)
                        ? QStringLiteral("%1 file is longer than a %1 record (%2 bytes)").arg(name).arg(size)
                        : QStringLiteral("%1 file holds %2 bytes, a %1 record %3")
                              .arg(name)
                              .arg(bytes.size())
                              .arg(size));
            continue;
        }
        if (manifestRead && e.size >= 0 && e.size != bytes.size()) {
            problems << QStringLiteral("%1 file holds %2 bytes, the manifest says %3")
                            .arg(name)
                            .arg(bytes.size())
                            .arg(e.size);
            continue;
        }
        if (manifestRead && e.crc >= 0 && crcOf(bytes) != e.crc) {
            problems << QStringLiteral("%1 CRC %2, the manifest says %3")
                            .arg(name, crcText(crcOf(bytes)), crcText(std::uint16_t(e.crc)));
            continue;
        }
        switch (r) {
        case MemoryRecord::Ram1:
            in.records.ram1 = imageOf<ram1::kSize>(bytes);
            break;
        case MemoryRecord::Ram2:
            in.records.ram2 = imageOf<ram2::kSize>(bytes);
            break;
        case MemoryRecord::Ram3:
            in.records.ram3 = imageOf<ram3::kSize>(bytes);
            break;
        }
    }

    in.info.records = named;
    in.info.damaged = !problems.isEmpty();
    in.info.damage = problems.join(QLatin1String("; "));
    return in;
}

QString numberText(double v)
{
    return QString::number(v, 'g', 10);
}

// "Ratio[1] 70 -> 75.5; Zajzar 0.5 -> 0.6", or for differences (written, read back)
// "Ratio[1] written 75.5 read 70".
QString changesText(const std::vector<FieldChange>& changes, bool differences)
{
    QStringList parts;
    parts.reserve(qsizetype(changes.size()));
    for (const FieldChange& c : changes) {
        const QString name = QString::fromStdString(c.name());
        parts << (differences ? QStringLiteral("%1 written %2 read %3") : QStringLiteral("%1 %2 -> %3"))
                     .arg(name, numberText(c.before), numberText(c.after));
    }
    return parts.join(QLatin1String("; "));
}

QString outcomeText(const JournalEntry& entry)
{
    switch (entry.outcome) {
    case WriteOutcome::Verified:
        break;
    case WriteOutcome::Differs:
        return entry.differences.empty() ? QStringLiteral("differs")
                                         : QStringLiteral("differs: ") + changesText(entry.differences, true);
    case WriteOutcome::NotAcknowledged:
        return QStringLiteral("not acknowledged");
    case WriteOutcome::OtherMeter:
        return entry.otherMeter ? QStringLiteral("other meter: %1 answered").arg(*entry.otherMeter)
                                : QStringLiteral("other meter answered");
    }
    return QStringLiteral("verified");
}

// "name before -> after" pieces; "name written before read after" for differences.
bool listParses(const QString& text, const QRegularExpression& piece)
{
    if (text.isEmpty())
        return true;
    const QStringList parts = text.split(QLatin1String("; "));
    return std::all_of(parts.begin(), parts.end(),
                       [&](const QString& p) { return piece.match(p).hasMatch(); });
}

} // namespace

MeterHistory::MeterHistory(QString root) : m_root(std::move(root)) {}

QString MeterHistory::defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString MeterHistory::meterFolder(std::uint32_t meter) const
{
    return QDir(m_root).filePath(QString::number(meter));
}

bool MeterHistory::backup(const MeterRecords& records, MemoryRecord record, QString* reason)
{
    const QString folder = meterFolder(records.Gyartasiszam);
    if (!makeFolder(folder, reason))
        return false;
    const QDir dir(folder);
    // Checked first: a backup whose write could not be journalled would only be clutter.
    if (!journalWritable(dir.filePath(kJournalName), reason))
        return false;

    std::vector<std::pair<MemoryRecord, QByteArray>> raw;
    if (records.ram1)
        raw.emplace_back(MemoryRecord::Ram1, bytesOf(*records.ram1));
    if (records.ram2)
        raw.emplace_back(MemoryRecord::Ram2, bytesOf(*records.ram2));
    if (records.ram3)
        raw.emplace_back(MemoryRecord::Ram3, bytesOf(*records.ram3));
    if (raw.empty())
        return true;

    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    const QString base = now.toUTC().toString(kStampFormat);
    QString stamp = base;
    for (int n = 2; stampTaken(dir, stamp); ++n)
        stamp = base + QLatin1Char('-') + QString::number(n);

    QStringList written;
    const auto undo = [&](const QString& why) {
        for (const QString& path : std::as_const(written))
            QFile::remove(path);
        return fail(reason, why);
    };

    IniProfile manifest;
    QStringList names;
    QString why;
    for (const auto& [r, bytes] : raw) {
        const QString path = dir.filePath(stamp + rawSuffix(r));
        if (!saveWholeFile(path, bytes, &why))
            return undo(why);
        written << path;
        names << recordName(r);
    }

    const auto set = [&](const QString& key, const QString& value) {
        manifest.setValue(kManifestSection, key, value);
    };
    set(QStringLiteral("Time"), isoTime(now.toLocalTime()));
    set(QStringLiteral("Meter"), QString::number(records.Gyartasiszam));
    set(QStringLiteral("Written"), recordName(record));
    set(QStringLiteral("Records"), names.join(QLatin1Char(',')));
    for (const auto& [r, bytes] : raw) {
        set(recordName(r) + QLatin1String("Size"), QString::number(bytes.size()));
        set(recordName(r) + QLatin1String("Crc"), crcText(crcOf(bytes)));
    }
    // The configuration as a settings section: the settings dialog's codec loads it back.
    if (records.ram2 && records.ram3 &&
        !writeSettingsSection(manifest, QString::number(records.Gyartasiszam), *records.ram2, *records.ram3,
                              QLocale::c(), &why))
        return undo(why);
    if (!saveWholeFile(dir.filePath(stamp + QLatin1String(".ini")), manifest.serialize(), &why))
        return undo(why);
    return true;
}

std::vector<BackupInfo> MeterHistory::backups(std::uint32_t meter, QString* reason) const
{
    const QString folder = meterFolder(meter);
    const QFileInfo info(folder);
    if (!info.exists())
        return {};
    if (!info.isDir()) {
        fail(reason, QStringLiteral("%1: is not a folder").arg(folder));
        return {};
    }
    if (!info.isReadable()) {
        fail(reason, QStringLiteral("%1: cannot be read").arg(folder));
        return {};
    }
    const QDir dir(folder);
    std::set<QString> ids;
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch m = backupFilePattern().match(name);
        if (m.hasMatch())
            ids.insert(m.captured(1));
    }
    std::vector<BackupInfo> list;
    list.reserve(ids.size());
    for (const QString& id : ids)
        list.push_back(inspect(dir, meter, id).info);
    std::sort(list.begin(), list.end(),
              [](const BackupInfo& a, const BackupInfo& b) { return stampOrder(a.id) > stampOrder(b.id); });
    return list;
}

std::optional<MeterRecords> MeterHistory::loadBackup(std::uint32_t meter, const QString& id,
                                                     QString* reason) const
{
    // The id becomes a file name: nothing but a stamp may reach the file system.
    if (!stampPattern().match(id).hasMatch()) {
        fail(reason, QStringLiteral("\"%1\" is not the name of a backup").arg(id));
        return std::nullopt;
    }
    const QDir dir(meterFolder(meter));
    Inspection in = inspect(dir, meter, id);
    if (!in.found) {
        fail(reason, QStringLiteral("%1: no backup %2").arg(dir.path(), id));
        return std::nullopt;
    }
    if (in.info.damaged) {
        fail(reason, QStringLiteral("%1 of meter %2: %3").arg(id).arg(meter).arg(in.info.damage));
        return std::nullopt;
    }
    return std::move(in.records);
}

std::vector<std::uint32_t> MeterHistory::meters() const
{
    static const QRegularExpression decimal(QStringLiteral("^(0|[1-9]\\d{0,9})$"));
    std::vector<std::uint32_t> list;
    for (const QString& name : QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!decimal.match(name).hasMatch())
            continue;
        const qulonglong n = name.toULongLong();
        if (n <= std::numeric_limits<std::uint32_t>::max())
            list.push_back(std::uint32_t(n));
    }
    std::sort(list.begin(), list.end());
    return list;
}

QString MeterHistory::journalLine(const JournalEntry& entry)
{
    const QDateTime time = entry.time.isValid() ? entry.time : QDateTime::currentDateTime();
    QString user = entry.user;
    for (QChar& c : user)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    const QStringList columns{isoTime(time), user, recordName(entry.record),
                              changesText(entry.changes, false), outcomeText(entry)};
    return columns.join(QLatin1Char('\t'));
}

JournalLine MeterHistory::parseJournalLine(const QString& text)
{
    static const QRegularExpression change(QStringLiteral("^\\S+ \\S+ -> \\S+$"));
    static const QRegularExpression difference(QStringLiteral("^\\S+ written \\S+ read \\S+$"));
    static const QRegularExpression otherMeter(QStringLiteral("^other meter(?:: \\d+)? answered$"));

    JournalLine line;
    line.text = text;
    line.damaged = true;
    const QStringList columns = text.split(QLatin1Char('\t'));
    if (columns.size() != 5)
        return line;
    const QDateTime time = QDateTime::fromString(columns[0], Qt::ISODateWithMs);
    const std::optional<MemoryRecord> record = recordNamed(columns[2]);
    if (!time.isValid() || !record || !listParses(columns[3], change))
        return line;
    const QString& outcome = columns[4];
    if (outcome == QLatin1String("verified")) {
        line.outcome = WriteOutcome::Verified;
    } else if (outcome == QLatin1String("not acknowledged")) {
        line.outcome = WriteOutcome::NotAcknowledged;
    } else if (otherMeter.match(outcome).hasMatch()) {
        line.outcome = WriteOutcome::OtherMeter;
    } else if (outcome == QLatin1String("differs") ||
               (outcome.startsWith(QLatin1String("differs: ")) && listParses(outcome.mid(9), difference) &&
                outcome.size() > 9)) {
        line.outcome = WriteOutcome::Differs;
    } else {
        return line;
    }
    line.damaged = false;
    line.time = time;
    line.user = columns[1];
    line.record = *record;
    line.changes = columns[3];
    line.outcomeText = outcome;
    return line;
}

bool MeterHistory::journal(const JournalEntry& entry, QString* reason)
{
    const QString folder = meterFolder(entry.Gyartasiszam);
    if (!makeFolder(folder, reason))
        return false;
    const QString path = QDir(folder).filePath(kJournalName);
    if (QFileInfo(path).isDir())
        return fail(reason, QStringLiteral("%1: is a folder").arg(path));

    QByteArray line = journalLine(entry).toUtf8() + '\n';
    {
        // A line cut short (a full disk, a crash) has no LF: the new line must not continue it.
        QFile in(path);
        char last = '\n';
        if (in.open(QIODevice::ReadOnly) && in.size() > 0 && in.seek(in.size() - 1) && in.getChar(&last) &&
            last != '\n')
            line.prepend('\n');
    }
    if (const std::optional<QString> why = appendLine(path, line))
        return fail(reason, QStringLiteral("%1: %2").arg(path, *why));
    return true;
}

std::vector<JournalLine> MeterHistory::readJournal(std::uint32_t meter, QString* reason,
                                                   std::size_t* damaged) const
{
    if (damaged)
        *damaged = 0;
    const QString path = QDir(meterFolder(meter)).filePath(kJournalName);
    if (!QFileInfo::exists(path))
        return {};
    QByteArray bytes;
    if (!readFile(path, bytes, reason))
        return {};
    std::vector<JournalLine> lines;
    std::size_t bad = 0;
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0)
            end = bytes.size();
        lines.push_back(parseJournalLine(QString::fromUtf8(bytes.constData() + from, end - from)));
        if (lines.back().damaged)
            ++bad;
        from = end + 1;
    }
    if (damaged)
        *damaged = bad;
    if (bad > 0)
        fail(reason,
             QStringLiteral("%1: %2 of %3 lines could not be read").arg(path).arg(bad).arg(lines.size()));
    return lines;
}

QString userLoginName()
{
    for (const char* name : {"USER", "USERNAME", "LOGNAME"}) {
        const QString value = qEnvironmentVariable(name).trimmed();
        if (!value.isEmpty())
            return value;
    }
#ifdef Q_OS_UNIX
    // A session without a login environment (a service, su): the account the program runs as.
    if (const passwd* account = getpwuid(getuid()); account && account->pw_name && *account->pw_name)
        return QString::fromLocal8Bit(account->pw_name);
#endif
    return QStringLiteral("unknown");
}

} // namespace kvam
