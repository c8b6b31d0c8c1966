#include "cli/Jobs.h"

#include "config/FieldUnits.h"
#include "config/IniProfile.h"
#include "config/MeterHistory.h"
#include "config/RecordFile.h"
#include "config/SettingsFile.h"
#include "link/PagePolls.h"
#include "link/PortNames.h"
#include "log/DataLogger.h"
#include "log/LogFile.h"
#include "measure/ViewRecords.h"
#include "protocol/ServiceCodes.h"
#include "records/FieldValue.h"
#include "records/RecordLayout.h"
#include "texts/Cp1250.h"
#include "texts/Language.h"
#include "texts/UiItems.h"
#include "texts/UiTexts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSerialPortInfo>

#include <cmath>
#include <cstring>
#include <set>

namespace kvam::cli {

namespace {

// The first answer must come within this long of the port opening, and no later answer may be
// further apart: a port with no meter behind it ends the command with status 3 within 2 s.
constexpr qint64 kFirstAnswerMs = 1500;
constexpr qint64 kSilenceMs = 3000;
// A command that needs a handful of records is given up after this long, whatever the line does.
constexpr qint64 kCommandMs = 30000;
constexpr int kTickMs = 100;

QString numberText(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 10) : QStringLiteral("nan");
}

QJsonValue jsonNumber(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

/// A single as its shortest decimal form (7 significant digits), not as the double it widens to.
QJsonValue jsonSingle(float v)
{
    return std::isfinite(v) ? QJsonValue(QString::number(double(v), 'g', 7).toDouble()) : QJsonValue();
}

/// The value as the pages show it: stored / scale.
double shownValue(const FieldInfo& field, double stored)
{
    return field.scale != 1.0 ? stored / field.scale : stored;
}

QByteArray jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

/// A table of change rows: field, the meter's value, the other value, the unit.
QStringList changeRows(const std::vector<FieldChange>& changes, const QString& otherHeading)
{
    QStringList rows;
    rows << QStringLiteral("  %1 %2 %3 %4")
                .arg(QStringLiteral("field").leftJustified(26), QStringLiteral("meter").rightJustified(14),
                     otherHeading.rightJustified(14), QStringLiteral("unit"));
    for (const FieldChange& c : changes) {
        const QString name = QStringLiteral("%1.%2").arg(QLatin1String(memoryRecordName(c.record)),
                                                         QString::fromStdString(c.name()));
        QString row =
            QStringLiteral("  %1 %2 %3 %4")
                .arg(name.leftJustified(26), numberText(shownValue(*c.field, c.before)).rightJustified(14),
                     numberText(shownValue(*c.field, c.after)).rightJustified(14), unitOf(c));
        while (row.endsWith(QLatin1Char(' ')))
            row.chop(1);
        rows << row;
    }
    return rows;
}

QJsonArray changeArray(const std::vector<FieldChange>& changes, const QString& otherKey)
{
    QJsonArray array;
    for (const FieldChange& c : changes) {
        QJsonObject o;
        o[QStringLiteral("record")] = QLatin1String(memoryRecordName(c.record));
        o[QStringLiteral("field")] = QString::fromStdString(c.name());
        o[QStringLiteral("meter")] = jsonNumber(shownValue(*c.field, c.before));
        o[otherKey] = jsonNumber(shownValue(*c.field, c.after));
        o[QStringLiteral("unit")] = unitOf(c);
        array.append(o);
    }
    return array;
}

/// Every field of a record by its record-table name, as the pages show it.
QJsonObject recordJson(MemoryRecord record, std::span<const std::uint8_t> bytes)
{
    QJsonObject o;
    for (const FieldInfo& f : memoryRecordLayout(record).fields) {
        auto value = [&](std::size_t i) {
            const double v = shownValue(f, readNumber(bytes, f, i));
            return f.type == FieldType::f32 ? jsonSingle(float(v)) : jsonNumber(v);
        };
        if (f.count == 1) {
            o[QLatin1String(f.name)] = value(0);
            continue;
        }
        QJsonArray values;
        for (std::size_t i = 0; i < f.count; ++i)
            values.append(value(i));
        o[QLatin1String(f.name)] = values;
    }
    return o;
}

/// FILE, or with several meters FILE with the meter's factory number before its extension.
QString perMeterFile(const QString& file, bool several, const QString& meter)
{
    if (!several)
        return file;
    const QFileInfo info(file);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? file : file.left(file.size() - suffix.size() - 1);
    return suffix.isEmpty() ? base + QLatin1Char('-') + meter
                            : base + QLatin1Char('-') + meter + QLatin1Char('.') + suffix;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The job's frame

Job::Job(MeterSession& session, Shared& shared) : m_s(session), m_shared(shared), m_o(shared.options)
{
    m_poke.setSingleShot(true);
    m_poke.setInterval(0);
    connect(&m_poke, &QTimer::timeout, this, &Job::poke);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &Job::poke);
    connect(&m_s, &MeterSession::event, this, [this] { m_poke.start(); });
    DeviceModel& model = m_s.model();
    connect(&model, &DeviceModel::versionChanged, this, [this] { m_versionSeen = true; });
    connect(&model, &DeviceModel::unsupportedDevice, this, [this](const VersionRecord& rec) {
        m_s.driver().stopPolling();
        finish(Status::Firmware, QStringLiteral("firmware %1 is not supported").arg(versionText(rec)));
    });
    if (m_o.verbose) {
        auto note = [this](const QString& text) {
            for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
                m_shared.error(QStringLiteral("%1: %2").arg(m_s.port(), line));
        };
        connect(&model, &DeviceModel::notice, this, note);
        connect(&m_s.driver(), &LinkDriver::monitorText, this, note);
    }
    connect(&model, &DeviceModel::writeRefused, this, [this](MemoryRecord record, const QString& reason) {
        finish(Status::File, QStringLiteral("%1 not written: no backup could be made: %2")
                                 .arg(QLatin1String(memoryRecordName(record)), reason));
    });
}

Job::~Job() = default;

void Job::begin()
{
    m_age.start();
    if (!precheck())
        return;
    if (auto error = m_s.open()) {
        finish(Status::NoMeter, QStringLiteral("cannot be opened: %1").arg(*error));
        return;
    }
    m_started = true;
    m_tick.start();
    started();
    m_poke.start();
}

void Job::interrupt()
{
    finish(Status::Differs, QStringLiteral("interrupted"));
}

bool Job::identified() const
{
    const DeviceModel& model = m_s.model();
    return m_versionSeen && versionSupported(model.version()) && model.lineMeter().has_value();
}

void Job::poke()
{
    if (m_done || !m_started)
        return;
    if (!m_s.answered() && m_s.silentFor() > kFirstAnswerMs) {
        finish(Status::NoMeter, QStringLiteral("no meter answers"));
        return;
    }
    if (m_s.answered() && m_s.silentFor() > kSilenceMs) {
        finish(Status::NoMeter, QStringLiteral("the meter stopped answering"));
        return;
    }
    if (!endless() && m_age.elapsed() > kCommandMs) {
        finish(Status::NoMeter,
               QStringLiteral("the meter did not give what was asked within %1 s").arg(kCommandMs / 1000));
        return;
    }
    step();
}

void Job::finish(Status status, const QString& error)
{
    if (m_done)
        return;
    m_done = true;
    m_status = status;
    m_tick.stop();
    m_poke.stop();
    if (!error.isEmpty())
        m_shared.error(QStringLiteral("%1: %2").arg(tag(), error));
    m_s.close();
    emit done();
}

QString Job::tag() const
{
    const auto meter = m_s.model().lineMeter();
    return meter ? QStringLiteral("%1 (meter %2)").arg(m_s.port()).arg(*meter) : m_s.port();
}

void Job::printBlock(const QStringList& lines)
{
    QString text = QStringLiteral("== %1 meter %2\n").arg(m_s.port(), m_s.meterText());
    for (const QString& l : lines)
        text += l + QLatin1Char('\n');
    m_shared.out(text.toUtf8());
}

void Job::printJson(QJsonObject object, Status status)
{
    object[QStringLiteral("port")] = m_s.port();
    const auto meter = m_s.model().lineMeter();
    object[QStringLiteral("meter")] = meter ? QJsonValue(qint64(*meter)) : QJsonValue();
    object[QStringLiteral("status")] = int(status);
    m_shared.out(jsonLine(object));
}

namespace {

// ---------------------------------------------------------------------------------------------
// info

class InfoJob : public Job
{
public:
    using Job::Job;

private:
    void started() override
    {
        m_s.driver().engine().setFlag(Read_State, true);
        connect(&m_s.model(), &DeviceModel::stateChanged, this, [this] { m_stateSeen = true; });
    }
    void step() override
    {
        const DeviceModel& model = m_s.model();
        if (!identified() || !m_stateSeen || !model.ram3Held())
            return;
        const VersionRecord& v = model.version();
        const StateRecord& st = model.state();
        const quint16 modules = get(model.memory().ram3, ram3::Modulconfig);
        const QString module1 = itemTextOf("Modul1box", modules & 15);
        const QString module2 = itemTextOf("Modul2box", (modules >> 4) & 15);
        auto onOff = [&](IoBit bit) { return ioActive(st, bit); };
        const bool inputs[] = {onOff(kIoInput1), onOff(kIoInput2), onOff(kIoInput3)};
        const bool outputs[] = {onOff(kIoOutput1), onOff(kIoOutput2)};
        if (m_o.json) {
            QJsonObject o;
            o[QStringLiteral("firmware")] = versionText(v);
            o[QStringLiteral("firmwareDate")] = versionDateText(v);
            o[QStringLiteral("factoryNumber")] = qint64(factoryNumber(v));
            o[QStringLiteral("productionYear")] = manufactureYear(v);
            o[QStringLiteral("productionMonth")] = manufactureMonth(v);
            o[QStringLiteral("modules")] = QJsonArray{module1, module2};
            o[QStringLiteral("dynamicErrors")] =
                QJsonArray::fromStringList(errorFlagNames(dynamicErrors(st)));
            o[QStringLiteral("staticErrors")] = QJsonArray::fromStringList(errorFlagNames(staticErrors(st)));
            o[QStringLiteral("errorLed")] = errorLedLit(st);
            o[QStringLiteral("inputs")] = QJsonArray{inputs[0], inputs[1], inputs[2]};
            o[QStringLiteral("outputs")] = QJsonArray{outputs[0], outputs[1]};
            printJson(o, Status::Ok);
        } else {
            auto list = [](const QStringList& names) {
                return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
            };
            auto states = [](std::initializer_list<bool> on) {
                QStringList s;
                int n = 1;
                for (bool b : on)
                    s << QStringLiteral("%1 %2").arg(n++).arg(b ? QStringLiteral("on")
                                                                : QStringLiteral("off"));
                return s.join(QStringLiteral(", "));
            };
            printBlock({
                QStringLiteral("  firmware         %1 (%2)").arg(versionText(v), versionDateText(v)),
                QStringLiteral("  factory number   %1").arg(factoryNumberText(v)),
                QStringLiteral("  production       year %1, month %2")
                    .arg(manufactureYear(v))
                    .arg(manufactureMonth(v)),
                QStringLiteral("  modules          slot 1: %1; slot 2: %2").arg(module1, module2),
                QStringLiteral("  dynamic errors   %1").arg(list(errorFlagNames(dynamicErrors(st)))),
                QStringLiteral("  static errors    %1").arg(list(errorFlagNames(staticErrors(st)))),
                QStringLiteral("  error LED        %1")
                    .arg(errorLedLit(st) ? QStringLiteral("lit") : QStringLiteral("dark")),
                QStringLiteral("  inputs           %1").arg(states({inputs[0], inputs[1], inputs[2]})),
                QStringLiteral("  outputs          %1").arg(states({outputs[0], outputs[1]})),
            });
        }
        finish(Status::Ok);
    }

    bool m_stateSeen = false;
};

// ---------------------------------------------------------------------------------------------
// read

class ReadJob : public Job
{
public:
    using Job::Job;

private:
    void step() override
    {
        if (!identified())
            return;
        const MeterRecords records = m_s.model().meterRecords();
        if (!records.ram2 || !records.ram3)
            return;
        const QString meter = m_s.meterText();
        const QString& format = m_o.format;
        QString error;
        if (format == QLatin1String("ini")) {
            if (!m_o.output.isEmpty()) {
                if (!saveSettings(m_o.output, meter, *records.ram2, *records.ram3, QLocale(), &error))
                    return finish(Status::File, error);
            } else {
                IniProfile profile;
                if (m_shared.several)
                    profile = IniProfile::parse(cp1250::encode(QStringLiteral("; %1\r\n").arg(m_s.port())));
                writeSettingsSection(profile, meter, *records.ram2, *records.ram3, QLocale());
                m_shared.out(profile.serialize());
            }
        } else if (format == QLatin1String("json")) {
            QJsonObject o;
            o[QStringLiteral("port")] = m_s.port();
            o[QStringLiteral("meter")] = qint64(records.Gyartasiszam);
            o[QStringLiteral("RAM2")] =
                recordJson(MemoryRecord::Ram2, {records.ram2->data(), records.ram2->size()});
            o[QStringLiteral("RAM3")] =
                recordJson(MemoryRecord::Ram3, {records.ram3->data(), records.ram3->size()});
            if (m_o.output.isEmpty())
                m_shared.out(jsonLine(o));
            else
                m_shared.jsonLines << jsonLine(o);
        } else if (!m_o.output.isEmpty()) {
            if (!saveRecordFile(perMeterFile(m_o.output, m_shared.several, meter), *records.ram2, &error))
                return finish(Status::File, error);
        } else {
            m_shared.out(QByteArray(reinterpret_cast<const char*>(records.ram2->data()),
                                    qsizetype(records.ram2->size())));
        }
        finish(Status::Ok);
    }
};

// ---------------------------------------------------------------------------------------------
// diff, write, restore: a settings section or a backup against the meter

/// Checks that the settings file can be read before any port is opened: nothing is written to a
/// meter after an error in reading it.
bool settingsFileReadable(const QString& path, const std::optional<QString>& section, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        *error = QStringLiteral("%1: %2").arg(path, info.isDir() ? QStringLiteral("is a folder")
                                                                 : QStringLiteral("no such file"));
        return false;
    }
    const QStringList sections = settingsSections(path, error);
    if (!error->isEmpty())
        return false;
    if (section && !sections.contains(*section)) {
        *error = QStringLiteral("%1: no section [%2]").arg(path, *section);
        return false;
    }
    return true;
}

/// What a settings section would make of the meter's records: the section's fields over the
/// meter's, every field the section leaves out (record heads, carried bytes) as the meter holds it.
struct Composed
{
    Ram2Image ram2;
    Ram3Image ram3;
    std::uint32_t owner = 0; ///< the factory number the section holds
    std::vector<FieldChange> changes;
};

std::optional<Composed> composeSection(const Options& o, const MeterRecords& meter, const QString& section,
                                       QString* error)
{
    Composed c;
    c.ram2 = *meter.ram2;
    c.ram3 = *meter.ram3;
    QStringList defaulted;
    if (!loadSettings(o.file, section, c.ram2, c.ram3, QLocale(), error, &defaulted))
        return std::nullopt;
    if (!defaulted.isEmpty()) {
        *error = QStringLiteral("%1 [%2]: damaged: %3 missing or not a number")
                     .arg(o.file, section,
                          defaulted.mid(0, 5).join(QStringLiteral(", ")) +
                              (defaulted.size() > 5 ? QStringLiteral(" ...") : QString()));
        return std::nullopt;
    }
    c.owner = get(c.ram3, ram3::Gyartasiszam);
    // Fields kept per meter: the meter's bytes stand in the composed records.
    for (const QString& k : o.keep) {
        const qsizetype bracket = k.indexOf(QLatin1Char('['));
        const QByteArray name = k.left(bracket < 0 ? k.size() : bracket).toLatin1();
        for (MemoryRecord r : {MemoryRecord::Ram2, MemoryRecord::Ram3}) {
            const FieldInfo* f = memoryRecordLayout(r).field(name.constData());
            if (!f)
                continue;
            std::size_t from = f->offset;
            std::size_t size = f->size();
            if (bracket >= 0) {
                from += std::size_t(k.mid(bracket + 1).chopped(1).toULongLong()) * f->width();
                size = f->width();
            }
            std::uint8_t* to = r == MemoryRecord::Ram2 ? c.ram2.data() : c.ram3.data();
            const std::uint8_t* source = r == MemoryRecord::Ram2 ? meter.ram2->data() : meter.ram3->data();
            std::memcpy(to + from, source + from, size);
            break;
        }
    }
    for (const FieldChange& ch : diffRecord(MemoryRecord::Ram2, *meter.ram2, c.ram2))
        c.changes.push_back(ch);
    for (const FieldChange& ch : diffRecord(MemoryRecord::Ram3, *meter.ram3, c.ram3))
        c.changes.push_back(ch);
    return c;
}

class DiffJob : public Job
{
public:
    using Job::Job;

private:
    bool precheck() override
    {
        QString error;
        if (!settingsFileReadable(m_o.file, m_o.section, &error)) {
            finish(Status::File, error);
            return false;
        }
        return true;
    }
    void step() override
    {
        if (!identified())
            return;
        const MeterRecords records = m_s.model().meterRecords();
        if (!records.ram2 || !records.ram3)
            return;
        QString error;
        const QString section = m_o.section.value_or(m_s.meterText());
        const std::optional<Composed> c = composeSection(m_o, records, section, &error);
        if (!c)
            return finish(Status::File, error);
        const Status status = c->changes.empty() ? Status::Ok : Status::Differs;
        if (m_o.json) {
            QJsonObject o;
            o[QStringLiteral("file")] = m_o.file;
            o[QStringLiteral("section")] = section;
            o[QStringLiteral("differences")] = changeArray(c->changes, QStringLiteral("file"));
            printJson(o, status);
        } else {
            QStringList lines{QStringLiteral("  against %1 [%2]: %3")
                                  .arg(m_o.file, section,
                                       c->changes.empty()
                                           ? QStringLiteral("no difference")
                                           : QStringLiteral("%1 differ").arg(c->changes.size()))};
            if (!c->changes.empty())
                lines << changeRows(c->changes, QStringLiteral("file"));
            printBlock(lines);
        }
        finish(status);
    }
};

/// A write through the model: the review printed (and asked on a terminal), the backup and journal
/// kept by the model, and the verdict of each record's read-back awaited.
class WritingJob : public Job
{
public:
    WritingJob(MeterSession& session, Shared& shared) : Job(session, shared)
    {
        DeviceModel& model = m_s.model();
        model.setHistory(shared.history);
        model.setUserName(userLoginName());
        model.setReviewer([this](const WriteProposal& p) { return review(p); });
        connect(&model, &DeviceModel::writeFinished, this, &WritingJob::writeFinished);
    }

    void interrupt() override
    {
        if (!m_waiting.empty()) {
            QStringList names;
            for (MemoryRecord r : m_waiting)
                names << QLatin1String(memoryRecordName(r));
            finish(Status::Differs,
                   QStringLiteral("interrupted before %1 was confirmed: what the meter holds now is "
                                  "unknown; check it with diff")
                       .arg(names.join(QStringLiteral(" and "))));
            return;
        }
        Job::interrupt();
    }

protected:
    /// Hands the records to the model; false when nothing is to be written (reported already).
    virtual bool submit() = 0;
    virtual QString what() const = 0;

    void step() override
    {
        if (m_submitted || !identified())
            return;
        const MeterRecords records = m_s.model().meterRecords();
        if (!records.ram2 || !records.ram3)
            return;
        m_submitted = true;
        if (!submit()) {
            if (!isDone())
                finishReport(m_refused ? Status::Usage : Status::Ok);
            return;
        }
        for (MemoryRecord r : {MemoryRecord::Ram1, MemoryRecord::Ram2, MemoryRecord::Ram3})
            if (m_s.model().writeOwed(r))
                m_waiting.insert(r);
        if (m_waiting.empty())
            finishReport(Status::Ok);
    }

    ReviewDecision review(const WriteProposal& p)
    {
        m_changes = p.changes;
        const bool foreign = p.foreign();
        std::vector<FieldChange> written;
        std::vector<FieldChange> kept;
        for (const FieldChange& c : p.changes)
            (foreign && c.record == MemoryRecord::Ram3 && !m_o.includeFactory ? kept : written).push_back(c);
        m_lines.clear();
        if (foreign)
            m_lines << QStringLiteral("  the records are meter %1's, the meter on the line is %2")
                           .arg(*p.owner)
                           .arg(*p.meter);
        if (p.changes.empty())
            m_lines << QStringLiteral("  %1: no change, nothing written").arg(what());
        else if (!written.empty())
            m_lines << QStringLiteral("  %1: %2 to change").arg(what()).arg(written.size())
                    << changeRows(written, QStringLiteral("new"));
        if (!kept.empty())
            m_lines << QStringLiteral(
                           "  RAM3 (factory data and calibration of meter %1): %2 differ, not written "
                           "(--include-factory writes them)")
                           .arg(*p.owner)
                           .arg(kept.size());
        m_proposed = written;
        ReviewDecision d;
        d.includeFactory = m_o.includeFactory;
        if (written.empty() || m_o.dryRun) {
            if (m_o.dryRun && !written.empty())
                m_lines << QStringLiteral("  dry run: nothing written");
            return d;
        }
        if (!m_o.yes) {
            if (!m_shared.terminal) {
                m_lines << QStringLiteral("  refused: standard input is not a terminal (--yes writes)");
                m_refused = true;
                return d;
            }
            // The review is shown before the question.
            if (!m_o.json)
                printBlock(m_lines);
            m_shown = true;
            if (!m_shared.confirm(QStringLiteral("Write these changes into meter %1 on %2? [y/N] ")
                                      .arg(*p.meter)
                                      .arg(m_s.port()))) {
                m_lines << QStringLiteral("  not confirmed: nothing written");
                return d;
            }
        }
        d.write = true;
        return d;
    }

    void writeFinished(const JournalEntry& e)
    {
        if (!m_waiting.erase(e.record))
            return;
        const QString name = QLatin1String(memoryRecordName(e.record));
        switch (e.outcome) {
        case WriteOutcome::Verified:
            m_lines << QStringLiteral("  %1 written and verified").arg(name);
            break;
        case WriteOutcome::Differs:
            m_worst = std::max(m_worst, Status::Differs);
            m_lines << QStringLiteral("  %1 written, but the meter holds otherwise:").arg(name)
                    << differenceRows(e.differences, QStringLiteral("    %1 written %2, read %3"));
            m_differences.insert(m_differences.end(), e.differences.begin(), e.differences.end());
            break;
        case WriteOutcome::NotAcknowledged:
            m_worst = std::max(m_worst, Status::NoMeter);
            m_lines << QStringLiteral("  %1 not acknowledged: what the meter holds is unknown").arg(name);
            break;
        case WriteOutcome::OtherMeter:
            m_worst = std::max(m_worst, Status::NoMeter);
            m_lines << QStringLiteral("  %1 not written: meter %2 answered on the line")
                           .arg(name, e.otherMeter ? QString::number(*e.otherMeter) : QStringLiteral("?"));
            break;
        }
        if (m_waiting.empty())
            finishReport(m_worst);
    }

    void finishReport(Status status)
    {
        if (m_o.json) {
            QJsonObject o;
            o[QStringLiteral("changes")] = changeArray(m_proposed, QStringLiteral("new"));
            o[QStringLiteral("differences")] = changeArray(m_differences, QStringLiteral("read"));
            o[QStringLiteral("report")] = QJsonArray::fromStringList(m_lines);
            printJson(o, status);
        } else {
            printBlock(m_shown ? m_lines.mid(m_lines.indexOf(m_lines.last())) : m_lines);
        }
        finish(status, status == Status::Usage
                           ? QStringLiteral("nothing written: standard input is not a terminal; "
                                            "--yes writes")
                           : QString());
    }

    bool m_submitted = false;
    bool m_refused = false;
    bool m_shown = false;
    Status m_worst = Status::Ok;
    std::set<MemoryRecord> m_waiting;
    std::vector<FieldChange> m_changes;
    std::vector<FieldChange> m_proposed;
    std::vector<FieldChange> m_differences;
    QStringList m_lines;
};

class WriteJob : public WritingJob
{
public:
    using WritingJob::WritingJob;

private:
    QString what() const override { return QStringLiteral("%1 [%2]").arg(m_o.file, m_section); }
    bool precheck() override
    {
        QString error;
        if (!settingsFileReadable(m_o.file, m_o.section, &error)) {
            finish(Status::File, error);
            return false;
        }
        return true;
    }
    bool submit() override
    {
        const MeterRecords records = m_s.model().meterRecords();
        m_section = m_o.section.value_or(m_s.meterText());
        QString error;
        const std::optional<Composed> c = composeSection(m_o, records, m_section, &error);
        if (!c) {
            finish(Status::File, error);
            return false;
        }
        // Only the records that change go out.
        bool ram2 = false;
        bool ram3 = false;
        for (const FieldChange& ch : c->changes)
            (ch.record == MemoryRecord::Ram2 ? ram2 : ram3) = true;
        std::optional<Ram2Image> r2;
        std::optional<Ram3Image> r3;
        if (ram2)
            r2 = c->ram2;
        if (ram3)
            r3 = c->ram3;
        if (!ram2 && !ram3) {
            m_lines << QStringLiteral("  %1: no change, nothing written").arg(what());
            return false;
        }
        return m_s.model().writeRecords(r2, r3, c->owner);
    }

    QString m_section;
};

class RestoreJob : public WritingJob
{
public:
    using WritingJob::WritingJob;

private:
    QString what() const override { return QStringLiteral("backup %1").arg(m_id); }
    bool precheck() override
    {
        if (!m_shared.history) {
            finish(Status::File, QStringLiteral("no history folder"));
            return false;
        }
        return true;
    }
    bool submit() override
    {
        auto* history = static_cast<MeterHistory*>(m_shared.history);
        const std::uint32_t meter = *m_s.model().lineMeter();
        QString reason;
        const std::vector<BackupInfo> backups = history->backups(meter, &reason);
        if (!reason.isEmpty()) {
            finish(Status::File, reason);
            return false;
        }
        if (m_o.list) {
            if (m_o.json) {
                QJsonArray list;
                for (const BackupInfo& b : backups) {
                    QJsonObject o;
                    o[QStringLiteral("id")] = b.id;
                    o[QStringLiteral("time")] = b.time.toString(Qt::ISODateWithMs);
                    QJsonArray records;
                    for (MemoryRecord r : b.records)
                        records.append(QLatin1String(memoryRecordName(r)));
                    o[QStringLiteral("records")] = records;
                    o[QStringLiteral("written")] =
                        b.written ? QJsonValue(QLatin1String(memoryRecordName(*b.written))) : QJsonValue();
                    o[QStringLiteral("damaged")] = b.damaged ? QJsonValue(b.damage) : QJsonValue(false);
                    list.append(o);
                }
                QJsonObject o;
                o[QStringLiteral("backups")] = list;
                printJson(o, Status::Ok);
            } else {
                QStringList lines{QStringLiteral("  %1 backup(s) in %2")
                                      .arg(backups.size())
                                      .arg(history->meterFolder(meter))};
                for (const BackupInfo& b : backups) {
                    QStringList records;
                    for (MemoryRecord r : b.records)
                        records << QLatin1String(memoryRecordName(r));
                    lines << QStringLiteral("  %1  %2  before %3  holds %4%5")
                                 .arg(b.id, b.time.toLocalTime().toString(Qt::ISODate),
                                      b.written ? QLatin1String(memoryRecordName(*b.written))
                                                : QLatin1String("?"),
                                      records.join(QLatin1Char(',')),
                                      b.damaged ? QStringLiteral("  DAMAGED: ") + b.damage : QString());
                }
                printBlock(lines);
            }
            finish(Status::Ok);
            return false;
        }
        const BackupInfo* chosen = nullptr;
        for (const BackupInfo& b : backups)
            if (b.id == m_o.at || b.time.toLocalTime().toString(Qt::ISODate) == m_o.at ||
                b.time.toUTC().toString(Qt::ISODate) == m_o.at)
                chosen = chosen ? chosen : &b;
        if (!chosen) {
            finish(Status::Usage,
                   QStringLiteral("no backup at \"%1\" (restore --list shows them)").arg(m_o.at));
            return false;
        }
        m_id = chosen->id;
        const std::optional<MeterRecords> records = history->loadBackup(meter, chosen->id, &reason);
        if (!records) {
            finish(Status::File, QStringLiteral("backup %1: %2").arg(chosen->id, reason));
            return false;
        }
        return m_s.model().restore(*records);
    }

    QString m_id;
};

// ---------------------------------------------------------------------------------------------
// watch, log

/// A job that runs on the measurements until it is stopped: it polls what the measurement page
/// polls, without the page change's second read of the records the start-up reads already bring.
class MeasuringJob : public Job
{
public:
    using Job::Job;

protected:
    virtual void measured(const NetRecord& net) = 0;

private:
    bool endless() const override { return true; }
    void interrupt() override { finish(Status::Ok); }
    void started() override
    {
        m_s.driver().engine().CoolPageControl1Change(kMeasurementPolls);
        connect(&m_s.model(), &DeviceModel::netChanged, this, [this](const NetRecord& net) {
            if (!isDone() && identified())
                measured(net);
        });
    }
};

class WatchJob : public MeasuringJob
{
public:
    using MeasuringJob::MeasuringJob;

private:
    void step() override {}
    void measured(const NetRecord& net) override
    {
        const QDateTime now = QDateTime::currentDateTime();
        const QString& format = m_o.format;
        if (format == QLatin1String("csv")) {
            if (!m_shared.csvHeaderDone) {
                m_shared.csvHeaderDone = true;
                m_shared.out("port,meter," + csvHeaderLine());
            }
            m_shared.out(QStringLiteral("%1,%2,").arg(m_s.port(), m_s.meterText()).toUtf8() +
                         csvRecordLine(now, net));
        } else if (format == QLatin1String("json")) {
            QJsonObject o;
            o[QStringLiteral("time")] = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
            o[QStringLiteral("port")] = m_s.port();
            o[QStringLiteral("meter")] = qint64(*m_s.model().lineMeter());
            for (const NetField& f : netFields())
                o[QLatin1String(f.name)] = jsonSingle(net.f32(f.offset) / f.scale);
            m_shared.out(jsonLine(o));
        } else {
            auto v = [&](const Field<net::kSize, FieldType::f32>& f, const char* format) {
                return QString::asprintf(format, double(get(net, f) / float(f.scale)));
            };
            using namespace net;
            QString text = now.toString(QStringLiteral("HH:mm:ss.zzz"));
            if (m_shared.several)
                text += QStringLiteral("  %1 %2").arg(m_s.port(), m_s.meterText());
            text += QStringLiteral("  U %1 %2 %3 V  I %4 %5 %6 A  P %7 kW  Q %8 kVAr  PF %9  f %10 Hz\n")
                        .arg(v(L1urms, "%.1f"), v(L2urms, "%.1f"), v(L3urms, "%.1f"), v(L1irms, "%.3f"),
                             v(L2irms, "%.3f"), v(L3irms, "%.3f"), v(Sump, "%.3f"), v(Sumq, "%.3f"),
                             v(Sumpf, "%.3f"))
                        .arg(v(L1f, "%.2f"));
            m_shared.out(text.toUtf8());
        }
        if (m_o.count > 0 && ++m_lines >= m_o.count)
            finish(Status::Ok);
    }

    int m_lines = 0;
};

class LogJob : public MeasuringJob
{
public:
    using MeasuringJob::MeasuringJob;

private:
    void step() override
    {
        if (m_logging && m_o.seconds > 0 && m_since.elapsed() >= qint64(m_o.seconds * 1000))
            finish(Status::Ok);
    }
    void startLogging()
    {
        m_logging = true;
        m_since.start();
        const QString file = perMeterFile(m_o.output, m_shared.several, m_s.meterText());
        if (m_o.format == QLatin1String("txt")) {
            m_logger = new DataLogger(this);
            m_logger->setSource([this] { return m_s.model().netHeld() ? &m_s.model().net() : nullptr; });
            connect(m_logger, &DataLogger::failed, this, [this](const QString& reason) {
                finish(Status::File, QStringLiteral("log: %1").arg(reason));
            });
            connect(this, &Job::done, m_logger, &DataLogger::stop);
            m_logger->start(file);
            return;
        }
        m_csv.setFileName(file);
        if (!m_csv.open(QIODevice::WriteOnly | QIODevice::Append))
            return finish(Status::File, QStringLiteral("%1: %2").arg(file, m_csv.errorString()));
        if (m_csv.size() == 0)
            write(csvHeaderLine());
    }
    void write(const QByteArray& line)
    {
        if (m_csv.write(line) != line.size() || !m_csv.flush())
            finish(Status::File, QStringLiteral("%1: %2").arg(m_csv.fileName(), m_csv.errorString()));
    }
    void measured(const NetRecord& net) override
    {
        if (!m_logging)
            startLogging();
        if (!isDone() && m_csv.isOpen())
            write(csvRecordLine(QDateTime::currentDateTime(), net));
    }

    bool m_logging = false;
    QElapsedTimer m_since;
    DataLogger* m_logger = nullptr;
    QFile m_csv;
};

// ---------------------------------------------------------------------------------------------
// service

class ServiceJob : public WritingJob
{
public:
    using WritingJob::WritingJob;

private:
    QString what() const override { return QStringLiteral("energy counters"); }
    void started() override
    {
        DeviceModel& model = m_s.model();
        connect(&model, &DeviceModel::stateChanged, this, [this] {
            // The answer to the state request that carried the code: the first after it went out.
            if (m_phase == Phase::CodeSent)
                m_phase = Phase::Answered;
        });
        connect(&model, &DeviceModel::ram2Changed, this, [this] { m_ram2After = true; });
        connect(&model, &DeviceModel::ram3Changed, this, [this] { m_ram3After = true; });
        // The counters are read as long as the command runs (the start-up reads go on beside them).
        if (m_o.service == QLatin1String("clear-energy"))
            m_s.driver().engine().setFlag(Read_RAM1, true);
    }
    bool submit() override { return m_s.model().clearEnergy(); }
    void step() override
    {
        if (m_o.service == QLatin1String("clear-energy")) {
            if (m_s.model().energyClearable())
                WritingJob::step();
            return;
        }
        if (!identified())
            return;
        DeviceModel& model = m_s.model();
        const MeterRecords records = model.meterRecords();
        switch (m_phase) {
        case Phase::Idle:
            if (!records.ram2 || !records.ram3)
                return;
            m_before = records;
            model.requestService(code());
            m_phase = Phase::Asked;
            return;
        case Phase::Asked:
            if (model.requests().ServiceCode == 0)
                m_phase = Phase::CodeSent;
            return;
        case Phase::CodeSent:
            return;
        case Phase::Answered:
            if (code() == kServiceClearErrors)
                return reportErrors();
            m_ram2After = m_ram3After = false;
            model.readRam();
            m_phase = Phase::Reading;
            return;
        case Phase::Reading:
            if (m_ram2After && m_ram3After && records.ram2 && records.ram3)
                reportRecords(records);
            return;
        }
    }
    std::uint8_t code() const
    {
        if (m_o.service == QLatin1String("clear-errors"))
            return kServiceClearErrors;
        return m_o.service == QLatin1String("user-defaults") ? kServiceUserDefaults : kServiceFactoryDefaults;
    }
    void reportErrors()
    {
        const StateRecord& st = m_s.model().state();
        // A flag whose condition still stands is latched again at once: only the others count.
        const quint32 left = staticErrors(st) & ~dynamicErrors(st);
        const Status status = left ? Status::Differs : Status::Ok;
        const QStringList still = errorFlagNames(staticErrors(st));
        if (m_o.json) {
            QJsonObject o;
            o[QStringLiteral("service")] = m_o.service;
            o[QStringLiteral("staticErrors")] = QJsonArray::fromStringList(still);
            o[QStringLiteral("dynamicErrors")] =
                QJsonArray::fromStringList(errorFlagNames(dynamicErrors(st)));
            printJson(o, status);
        } else {
            printBlock({QStringLiteral("  clear-errors sent; the meter now reports static errors: %1")
                            .arg(still.isEmpty() ? QStringLiteral("none") : still.join(QStringLiteral(", "))),
                        QStringLiteral("  dynamic errors: %1")
                            .arg(errorFlagNames(dynamicErrors(st)).isEmpty()
                                     ? QStringLiteral("none")
                                     : errorFlagNames(dynamicErrors(st)).join(QStringLiteral(", ")))});
        }
        finish(status, left ? QStringLiteral("static errors still latched: %1")
                                  .arg(errorFlagNames(left).join(QStringLiteral(", ")))
                            : QString());
    }
    void reportRecords(const MeterRecords& after)
    {
        std::vector<FieldChange> changes = diffRecord(MemoryRecord::Ram2, *m_before.ram2, *after.ram2);
        for (const FieldChange& c : diffRecord(MemoryRecord::Ram3, *m_before.ram3, *after.ram3))
            changes.push_back(c);
        if (m_o.json) {
            QJsonObject o;
            o[QStringLiteral("service")] = m_o.service;
            o[QStringLiteral("changed")] = changeArray(changes, QStringLiteral("now"));
            printJson(o, Status::Ok);
        } else {
            QStringList lines{QStringLiteral("  %1 sent; the meter's records read back: %2 field(s) changed")
                                  .arg(m_o.service)
                                  .arg(changes.size())};
            if (!changes.empty())
                lines << changeRows(changes, QStringLiteral("now"));
            printBlock(lines);
        }
        finish(Status::Ok);
    }

    enum class Phase
    {
        Idle,
        Asked,
        CodeSent,
        Answered,
        Reading
    };
    Phase m_phase = Phase::Idle;
    MeterRecords m_before;
    bool m_ram2After = false;
    bool m_ram3After = false;
};

} // namespace

std::unique_ptr<Job> makeJob(MeterSession& session, Shared& shared)
{
    switch (shared.options.command) {
    case Command::Info:
        return std::make_unique<InfoJob>(session, shared);
    case Command::Read:
        return std::make_unique<ReadJob>(session, shared);
    case Command::Diff:
        return std::make_unique<DiffJob>(session, shared);
    case Command::Write:
        return std::make_unique<WriteJob>(session, shared);
    case Command::Restore:
        return std::make_unique<RestoreJob>(session, shared);
    case Command::Watch:
        return std::make_unique<WatchJob>(session, shared);
    case Command::Log:
        return std::make_unique<LogJob>(session, shared);
    case Command::Service:
        return std::make_unique<ServiceJob>(session, shared);
    case Command::Ports:
        break;
    }
    return nullptr;
}

Status listPorts(Shared& shared)
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (shared.options.json) {
        for (const QSerialPortInfo& p : ports) {
            QJsonObject o;
            o[QStringLiteral("port")] = p.systemLocation();
            o[QStringLiteral("description")] = p.description();
            o[QStringLiteral("manufacturer")] = p.manufacturer();
            o[QStringLiteral("serialNumber")] = p.serialNumber();
            shared.out(jsonLine(o));
        }
        return Status::Ok;
    }
    QString text;
    for (const QSerialPortInfo& p : ports)
        text +=
            QStringLiteral("%1\t%2\t%3\n")
                .arg(p.systemLocation(), p.description().isEmpty() ? QStringLiteral("-") : p.description(),
                     p.serialNumber().isEmpty() ? QStringLiteral("-") : p.serialNumber());
    text += QStringLiteral("%1\tthe built-in virtual meter\t-\n").arg(QLatin1String(kDemoPort));
    shared.out(text.toUtf8());
    return Status::Ok;
}

} // namespace kvam::cli
