#include "cli/WriteJobs.h"

#include "cli/ChangeRows.h"
#include "config/MeterHistory.h"
#include "config/SettingsFile.h"
#include "records/RecordLayout.h"

#include <QFileInfo>
#include <QLocale>

#include <cstring>

namespace kvam::cli {

// ---------------------------------------------------------------------------------------------
// A settings section composed over the meter's records

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

// ---------------------------------------------------------------------------------------------
// The review and the outcome of a write

WritingJob::WritingJob(MeterSession& session, Shared& shared) : Job(session, shared)
{
    DeviceModel& model = m_s.model();
    model.setHistory(shared.history);
    model.setUserName(userLoginName());
    model.setReviewer([this](const WriteProposal& p) { return review(p); });
    connect(&model, &DeviceModel::writeFinished, this, &WritingJob::writeFinished);
}

void WritingJob::interrupt()
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

void WritingJob::step()
{
    if (m_submitted || !readyRecords())
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

ReviewDecision WritingJob::review(const WriteProposal& p)
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
        m_lines << QStringLiteral("  RAM3 (factory data and calibration of meter %1): %2 differ, not written "
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
        presenter().review(origin(), m_lines);
        m_reviewed = m_lines.size();
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

void WritingJob::writeFinished(const JournalEntry& e)
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

void WritingJob::finishReport(Status status)
{
    presenter().written(origin(), WriteReport{m_proposed, m_differences, m_lines, m_reviewed}, status);
    finish(status, status == Status::Usage
                       ? QStringLiteral("nothing written: standard input is not a terminal; "
                                        "--yes writes")
                       : QString());
}

// ---------------------------------------------------------------------------------------------
// write

QString WriteJob::what() const
{
    return QStringLiteral("%1 [%2]").arg(m_o.file, m_section);
}

bool WriteJob::precheck()
{
    QString error;
    if (!settingsFileReadable(m_o.file, m_o.section, &error)) {
        finish(Status::File, error);
        return false;
    }
    return true;
}

bool WriteJob::submit()
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

} // namespace kvam::cli
