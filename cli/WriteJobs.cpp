#include "cli/WriteJobs.h"

#include "cli/ChangeRows.h"
#include "config/MeterHistory.h"
#include "config/SettingsFile.h"
#include "device/WriteNotice.h"

#include <QFileInfo>
#include <QLocale>

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

std::optional<ComposedSection> composeSection(const Options& o, const DeviceModel& model,
                                              const QString& section, QString* error)
{
    const SectionReader read = [&](Ram2Image& ram2, Ram3Image& ram3, QStringList* defaulted, QString* why) {
        return loadSettings(o.file, section, ram2, ram3, QLocale(), why, defaulted);
    };
    return model.writes().composeSection(read, SectionPolicy::RefuseDamaged, o.keep,
                                         QStringLiteral("%1 [%2]").arg(o.file, section), error);
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
    for (MemoryRecord r : kAllMemoryRecords)
        if (m_s.model().writeOwed(r))
            m_waiting.insert(r);
    if (m_waiting.empty())
        finishReport(Status::Ok);
}

ReviewDecision WritingJob::review(const WriteProposal& p)
{
    const bool foreign = p.foreign();
    std::vector<FieldChange> written;
    std::vector<FieldChange> kept;
    for (const FieldChange& c : p.changes)
        (p.writes(c.record, m_o.includeFactory) ? written : kept).push_back(c);
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
    switch (e.outcome) {
    case WriteOutcome::Verified:
        break;
    case WriteOutcome::Differs:
        m_worst = std::max(m_worst, Status::Differs);
        m_differences.insert(m_differences.end(), e.differences.begin(), e.differences.end());
        break;
    case WriteOutcome::NotAcknowledged:
    case WriteOutcome::OtherMeter:
        m_worst = std::max(m_worst, Status::NoMeter);
        break;
    }
    m_lines << QStringLiteral("  ") + writeNoticeText(noticeOf(e), Language::English);
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
    m_section = m_o.section.value_or(m_s.meterText());
    QString error;
    const std::optional<ComposedSection> c = composeSection(m_o, m_s.model(), m_section, &error);
    if (!c) {
        finish(Status::File, error);
        return false;
    }
    if (c->changes.empty()) {
        m_lines << QStringLiteral("  %1: no change, nothing written").arg(what());
        return false;
    }
    return m_s.model().writeSection(*c);
}

} // namespace kvam::cli
