#pragma once

// A settings write as the command line drives the write session: the section composed by the
// session's policy, the review of what changes, and each record's outcome as the session words it.

#include "cli/Job.h"
#include "device/DeviceModel.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <set>
#include <vector>

namespace kvam::cli {

/// Checks that the settings file can be read before any port is opened: nothing is written to a
/// meter after an error in reading it.
bool settingsFileReadable(const QString& path, const std::optional<QString>& section, QString* error);

/// Section `section` of the settings file of `o` as the write session composes it for the command
/// line: over the meter's own records, refused when damaged, the fields of --keep as the meter
/// holds them; none when it cannot be composed (`error` says why).
std::optional<ComposedSection> composeSection(const Options& o, const DeviceModel& model,
                                              const QString& section, QString* error);

/// A write through the model: the review printed (and asked on a terminal), the backup and journal
/// kept by the model, and the verdict of each record's read-back awaited.
class WritingJob : public Job
{
public:
    WritingJob(MeterSession& session, Shared& shared);

    void interrupt() override;

protected:
    /// Hands the records to the model; false when nothing is to be written (reported already).
    virtual bool submit() = 0;
    virtual QString what() const = 0;

    void step() override;
    ReviewDecision review(const WriteProposal& p);
    void writeFinished(const JournalEntry& e);
    void finishReport(Status status);

    bool m_submitted = false;
    bool m_refused = false;
    qsizetype m_reviewed = 0; ///< the lines of m_lines the presenter was given before the question
    Status m_worst = Status::Ok;
    std::set<MemoryRecord> m_waiting;
    std::vector<FieldChange> m_proposed;
    std::vector<FieldChange> m_differences;
    QStringList m_lines;
};

/// write: a settings section into the meter.
class WriteJob : public WritingJob
{
public:
    using WritingJob::WritingJob;

private:
    QString what() const override;
    bool precheck() override;
    bool submit() override;

    QString m_section;
};

} // namespace kvam::cli
