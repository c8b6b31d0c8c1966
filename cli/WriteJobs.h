#pragma once

// The rules of a settings write as the command line applies them: a settings section composed over
// the meter's records, the review of what changes, and the words of each record's outcome. They are
// kept here together, apart from the jobs' frame and the presenters.

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

/// What a settings section would make of the meter's records: the section's fields over the
/// meter's, every field the section leaves out (record heads, carried bytes) as the meter holds it.
struct Composed
{
    Ram2Image ram2;
    Ram3Image ram3;
    std::uint32_t owner = 0; ///< the factory number the section holds
    std::vector<FieldChange> changes;
};

/// Section `section` of the settings file of `o` over `meter`'s records, the fields of --keep as the
/// meter holds them; none when the section cannot be read or is damaged (`error` says why).
std::optional<Composed> composeSection(const Options& o, const MeterRecords& meter, const QString& section,
                                       QString* error);

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
    std::vector<FieldChange> m_changes;
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
