#pragma once

#include "records/RecordDiff.h"
#include "records/Records.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace kvam {

/// A meter's memory records as last read from it (what a backup keeps), with its factory number.
struct MeterRecords
{
    std::uint32_t Gyartasiszam = 0;
    std::optional<Ram1Image> ram1;
    std::optional<Ram2Image> ram2;
    std::optional<Ram3Image> ram3;
};

/// How a write ended.
enum class WriteOutcome : std::uint8_t
{
    Verified,        ///< acknowledged, and the read-back holds what was written
    Differs,         ///< acknowledged, but the read-back differs (a field refused or clamped)
    NotAcknowledged, ///< went out, but no acknowledgement came before it was given up
    OtherMeter,      ///< dropped: another meter answered on the line
};

/// One line of a meter's write journal.
struct JournalEntry
{
    QDateTime time;                 ///< when the outcome was known
    QString user;                   ///< the login name
    std::uint32_t Gyartasiszam = 0; ///< the meter the record belongs to
    MemoryRecord record = MemoryRecord::Ram2;
    std::vector<FieldChange> changes; ///< what the write changes: the meter's record → the image
    WriteOutcome outcome = WriteOutcome::Verified;
    std::vector<FieldChange> differences;    ///< Differs: written → read back
    std::optional<std::uint32_t> otherMeter; ///< OtherMeter: the meter that answered instead
};

/// One text per differing element: `pattern` with %1 the element's name, %2 the value written and
/// %3 the value read back (the monitor's words or the message's, in the language shown).
inline QStringList differenceRows(const std::vector<FieldChange>& differences, const QString& pattern)
{
    QStringList rows;
    for (const FieldChange& c : differences)
        rows << pattern.arg(QString::fromStdString(c.name()))
                    .arg(c.before, 0, 'g', 10)
                    .arg(c.after, 0, 'g', 10);
    return rows;
}

/// Where the backups and the journal of each meter are kept. The device model asks for a backup
/// before a write leaves for the meter and never sends it when the backup fails.
class WriteHistory
{
public:
    virtual ~WriteHistory() = default;
    /// Saves `records` (the meter's records as last read) before a write of `record` goes out,
    /// and makes sure the meter's journal can take the write's line. False, with the system's
    /// reason, when either cannot be written: the write must not go out.
    virtual bool backup(const MeterRecords& records, MemoryRecord record, QString* reason) = 0;
    /// Appends one line to the meter's journal. False, with the reason, when it cannot.
    virtual bool journal(const JournalEntry& entry, QString* reason) = 0;
};

} // namespace kvam
