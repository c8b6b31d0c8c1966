#pragma once

#include "device/WriteHistory.h"
#include "records/RecordDiff.h"

#include <QDateTime>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kvam {

// The write history on disk: one folder per meter, named by its factory number, under a root
// folder (the application's data folder by default):
//
//   <root>/<Gyartasiszam>/<stamp>.ram1 .ram2 .ram3   the records as read, byte for byte
//   <root>/<Gyartasiszam>/<stamp>.ini                 the manifest, written last
//   <root>/<Gyartasiszam>/journal.txt                 one UTF-8 line per write, LF
//
// <stamp> is the UTC time of the backup, yyyyMMddTHHmmsszzzZ, with -2, -3 ... behind it when a
// backup of that millisecond exists. The manifest holds the configuration as a settings section
// named by the factory number (when RAM2 and RAM3 are both held) and a [Backup] section: Time,
// Meter, Written, Records ("RAM2,RAM3") and, per raw file, RAM2Size and RAM2Crc (CRC-16, hex).
// A backup whose manifest is missing was cut short; it is listed as damaged and never restored.

/// One backup of a meter as the folder holds it.
struct BackupInfo
{
    QString id;     ///< its stamp, which names its files
    QDateTime time; ///< when it was taken (the manifest's time, else the stamp's)
    std::uint32_t meter = 0;
    std::optional<MemoryRecord> written; ///< the record whose write it preceded (manifest)
    std::vector<MemoryRecord> records;   ///< the records it holds, in record order
    bool damaged = false;                ///< it cannot be restored
    QString damage;                      ///< why: a missing or short file, a CRC, the manifest
};

/// One line of a meter's journal. A line that does not parse keeps only its text.
struct JournalLine
{
    QString text;         ///< the line as stored, without its LF
    bool damaged = false; ///< the columns below are empty
    QDateTime time;
    QString user;
    MemoryRecord record = MemoryRecord::Ram2;
    QString changes; ///< "Ratio[1] 70 -> 75.5; Zajzar 0.5 -> 0.6"
    WriteOutcome outcome = WriteOutcome::Verified;
    QString outcomeText; ///< the column as written: "differs: Ratio[1] written 75.5 read 70"
};

/// The write history of every meter in folders under one root.
class MeterHistory : public WriteHistory
{
public:
    explicit MeterHistory(QString root);

    /// The application's data folder (QStandardPaths::AppDataLocation).
    static QString defaultRoot();
    const QString& root() const { return m_root; }
    /// The folder of one meter's backups and journal (it need not exist).
    QString meterFolder(std::uint32_t meter) const;
    /// The clock backups are stamped with (the system's by default). A fixed clock makes every
    /// backup collide with the one before it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    /// Checks that the journal takes a line, then writes the raw files of every record `records`
    /// holds and the manifest last. On failure nothing of the backup is left behind. Records that
    /// hold none of the three leave no backup (there is nothing to restore) but still need the
    /// journal.
    bool backup(const MeterRecords& records, MemoryRecord record, QString* reason) override;
    /// Appends the entry's line; a line cut short by a failed write is cut back off again, and a
    /// journal whose last line was cut short before gets the new line on a line of its own.
    bool journal(const JournalEntry& entry, QString* reason) override;

    /// Every backup of the meter, newest first, the damaged ones marked. No folder: none, no error.
    std::vector<BackupInfo> backups(std::uint32_t meter, QString* reason = nullptr) const;
    /// The records of one backup (bytes checked against the manifest's sizes and CRCs). Nothing,
    /// with the reason, for a backup that is missing or damaged in any way.
    std::optional<MeterRecords> loadBackup(std::uint32_t meter, const QString& id,
                                           QString* reason = nullptr) const;
    /// The factory numbers that have a folder, in ascending order.
    std::vector<std::uint32_t> meters() const;
    /// Every line of the meter's journal in file order. Lines that do not parse are kept as text,
    /// marked and counted in `damaged` (and `reason` then says how many). A missing journal has
    /// no lines and is no error; one that cannot be read gives none and the reason.
    std::vector<JournalLine> readJournal(std::uint32_t meter, QString* reason = nullptr,
                                         std::size_t* damaged = nullptr) const;

    /// The journal line of an entry, without its LF.
    static QString journalLine(const JournalEntry& entry);
    /// Parses one journal line (without its LF); a line that does not parse comes back damaged.
    static JournalLine parseJournalLine(const QString& text);

private:
    QString m_root;
    std::function<QDateTime()> m_clock;
};

/// The login name (USER, USERNAME or LOGNAME), or "unknown".
QString userLoginName();

} // namespace kvam
