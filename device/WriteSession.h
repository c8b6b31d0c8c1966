#pragma once

#include "device/DeviceMemory.h"
#include "device/WriteHistory.h"
#include "device/WriteNotice.h"
#include "records/RecordDiff.h"
#include "records/Records.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kvam {

/// Whether a record of a proposal is written when the user answers its review with
/// `includeFactory`: of another meter's records (`foreign`), the factory data and calibration
/// (RAM3) only when asked for.
constexpr bool recordWritten(MemoryRecord record, bool foreign, bool includeFactory)
{
    return !(foreign && record == MemoryRecord::Ram3 && !includeFactory);
}

/// What a write would put into the meter, as the user is asked to confirm it.
struct WriteProposal
{
    /// Where the records come from.
    enum class Source : std::uint8_t
    {
        Editors,     ///< the write buttons: the editors packed
        Calibration, ///< a calibration button: one constant of RAM3
        EnergyClear, ///< the energy counters zeroed
        Restore,     ///< a backup
        Section,     ///< a settings section written as it stands (the command-line tool)
    };
    Source source = Source::Editors;
    std::optional<Ram1Image> ram1; ///< the records to write
    std::optional<Ram2Image> ram2;
    std::optional<Ram3Image> ram3;
    /// The meter the records belong to (the factory number of the RAM3 read with them, of the
    /// settings section or of the backup they came from); none when it is not known.
    std::optional<std::uint32_t> owner;
    /// The meter on the line, once identified by its RAM3 since the line was last interrupted.
    std::optional<std::uint32_t> meter;
    /// The meter's records as last read (the review's "meter" column).
    MeterRecords meterRecords;
    /// Every element that changes, record by record: the meter's record (or, where none was read,
    /// the image) against the proposal.
    std::vector<FieldChange> changes;

    /// The records come from another meter than the one on the line.
    bool foreign() const { return owner && meter && *owner != *meter; }
    /// Whether `record` is written when the user answers the review with `includeFactory`: another
    /// meter's factory data and calibration (its RAM3) only when asked for.
    bool writes(MemoryRecord record, bool includeFactory) const
    {
        return recordWritten(record, foreign(), includeFactory);
    }
    /// The changes of one record.
    std::vector<FieldChange> changesOf(MemoryRecord record) const;
};

/// The user's answer to a write's review.
struct ReviewDecision
{
    bool write = false;
    /// Write another meter's factory data and calibration (RAM3) as well; without it a foreign
    /// proposal writes only its configuration (RAM2).
    bool includeFactory = false;
};

/// How a settings section becomes records.
enum class SectionPolicy : std::uint8_t
{
    /// The window's load: over the images; a key missing or not a number takes its default.
    FillDefaults,
    /// The command line's write: over the meter's own records; a section with such a key is
    /// refused, nothing is written.
    RefuseDamaged,
};

/// A settings section as records, and what it changes.
struct ComposedSection
{
    Ram2Image ram2;
    Ram3Image ram3;
    std::uint32_t owner = 0;          ///< the factory number the section holds
    std::vector<FieldChange> changes; ///< against the records it was composed over
};

/// Reads a section over the records given: false with the reason when it cannot be read; the keys
/// that were missing or not a number go to `defaulted`.
using SectionReader =
    std::function<bool(Ram2Image& ram2, Ram3Image& ram3, QStringList* defaulted, QString* error)>;

/// The calibration buttons' steps.
enum class CalibrationStep : std::uint8_t
{
    Nominal,     ///< the channel's AD rms of the last calibration data
    Offset,      ///< the channel's AD average
    ClearOffset, ///< 0
};

/// Every write of the meter's memory records, whoever asks for it (the window's buttons, a load, a
/// restore, the command line): the proposals, the review, the rules that keep a write with the meter
/// its records came from, the backup before it goes, the verdict of its read-back and the journal.
/// One state per record. It knows the line only by the scheduler's request flags.
class WriteSession : public QObject
{
    Q_OBJECT
public:
    /// The scheduler's request flags, as the session reads and sets them.
    class Line
    {
    public:
        virtual ~Line() = default;
        virtual bool flag(std::uint8_t code) const = 0;
        virtual void setFlag(std::uint8_t code, bool on) = 0;
    };

    /// `images` are the model's images: the session commits proposals into them.
    WriteSession(DeviceMemory& images, Line& line, QObject* parent = nullptr);

    /// Asks the user before every write. Without one (`--no-review`, the core's tests) a write
    /// goes as soon as it is asked for.
    using Reviewer = std::function<ReviewDecision(const WriteProposal&)>;
    void setReviewer(Reviewer reviewer) { m_reviewer = std::move(reviewer); }
    /// Where backups and the journal are kept. Without one no backup is made (the core's tests).
    void setHistory(WriteHistory* history) { m_history = history; }
    /// The login name the journal records.
    void setUserName(const QString& user) { m_user = user; }

    // Who is on the line and whose records are held.
    std::optional<std::uint32_t> lineMeter() const { return m_lineMeter; }
    std::optional<std::uint32_t> imageOwner(MemoryRecord record) const { return at(record).image.meter; }
    MeterRecords meterRecords() const;
    const DeviceMemory& meterMemory() const { return m_meterMemory; }
    bool writeOwed(MemoryRecord record) const;
    /// A write's read-back is still to give its verdict.
    bool verifying() const;
    /// A RAM1 record of the meter on the line was read since it was last identified.
    bool meterRam1Held() const;

    // Proposals.
    WriteProposal editors(const Ram2Image& ram2, const Ram3Image& ram3) const;
    WriteProposal calibration(CalibrationStep step, int channel, const CaldataRecord& caldata) const;
    /// The energy counters of the meter on the line cleared, its own record around them.
    WriteProposal energyClear() const;
    /// A backup's records; the energy counters are not taken back (a restore is of the
    /// configuration).
    WriteProposal restoreOf(const MeterRecords& records) const;
    /// A settings section composed by `policy` over the images (FillDefaults) or the meter's records
    /// (RefuseDamaged, which needs both read); the fields named in `keep` ("MB01Addr",
    /// "Ratio[1]") stay as the meter holds them. None, with the reason, when it cannot be composed;
    /// `where` names the section in the reason ("settings.ini [21001234]").
    std::optional<ComposedSection> composeSection(const SectionReader& read, SectionPolicy policy,
                                                  const QStringList& keep, const QString& where,
                                                  QString* error) const;
    /// A composed section written as it stands: only the records it changes.
    WriteProposal sectionWrite(const ComposedSection& section) const;

    /// Applies the meter's rules, reviews and commits a proposal. False when nothing is written.
    bool submit(WriteProposal proposal);
    /// A value write (the outputs, the analog calibration and test) is committed once more.
    void commit(std::uint8_t write);

    // The model's reads.
    /// A read the user's action asks for: its answer counts as asked.
    void askRead(std::uint8_t read);
    /// A read the session needs itself (who is on the line, a backup, a verdict), unless asked
    /// for anyway: its answer leaves held images alone.
    void askOwnRead(std::uint8_t read);
    /// A page was opened; `pollsRam1` when it polls the energy counters itself.
    void pageChanged(bool pollsRam1);
    /// Whether the last read of `record` asked for was the session's own.
    bool ownRead(MemoryRecord record) const { return at(record).ownRead; }

    // The request and answer paths.
    /// Whether a request may go out now: a memory write only to the meter its record belongs to,
    /// once that meter is identified and the record backed up.
    bool mayRequest(std::uint8_t code);
    void requestSent(std::uint8_t code);
    /// The acknowledgement of a write arrived: whether it ends the write (no newer commitment).
    bool acknowledged(std::uint8_t code);
    /// A memory record arrived from the meter (before the image may take it). RAM3 identifies the
    /// meter on the line. Returns whether the read was the session's own.
    bool recordRead(MemoryRecord record, const std::uint8_t* payload);
    /// The image took the record just read.
    void imageRead(MemoryRecord record);
    /// The verdict of an owed read-back.
    void verify(MemoryRecord record, const std::uint8_t* payload);
    /// Whoever answers next may be another meter.
    void lineInterrupted();
    /// A settings section (`owner` its meter) or a record file (no owner: the images' meter) was
    /// loaded into the images of `records`: their owed writes are withdrawn.
    void imagesLoaded(std::span<const MemoryRecord> records, std::optional<std::uint32_t> owner);
    /// The program ends: writes that went out and were never acknowledged are journalled so.
    void finish();

signals:
    void writeFinished(const kvam::JournalEntry& entry);
    void writeRefused(kvam::MemoryRecord record, const QString& reason);
    /// Another meter's factory data and calibration were not written, and nothing else was to be.
    void foreignFactoryKept(std::uint32_t owner, std::uint32_t meter);
    /// Every notice, for the monitor.
    void noticed(const kvam::WriteNotice& notice);
    /// A restore put records into the images.
    void imageRestored(kvam::MemoryRecord record);

private:
    /// Who an image or a copy of the meter's record belongs to: a factory number, or, for a record
    /// read before the line's meter was identified, the line's epoch it was read in.
    struct Owner
    {
        std::optional<std::uint32_t> meter;
        bool pending = false;
        unsigned epoch = 0;
    };
    /// How often the user committed an image or a value for writing, and which of those
    /// commitments its last request carried.
    struct Commitment
    {
        unsigned committed = 0;
        unsigned sent = 0;
        bool newer() const { return sent != committed; }
    };
    /// Everything about one memory record.
    struct RecordState
    {
        Owner image;     ///< whose record the image holds
        Owner meterCopy; ///< whose record the copy of the meter's is
        bool meterHeld = false;
        bool ownRead = false; ///< the read in flight is the session's own
        Commitment commitment;
        unsigned backedUp = 0;          ///< the commitment the backup was made for
        bool wentOut = false;           ///< a request went out and its outcome is not known yet
        bool verifying = false;         ///< acknowledged: the read-back decides
        std::vector<std::uint8_t> sent; ///< the image the last request carried
        /// A read-back that differed from what was written: the verdict waits for a second one
        /// that agrees (the first may be a late answer to a read sent before the write).
        std::vector<std::uint8_t> differing;
        int readBacks = 0;
        std::vector<FieldChange> changes;   ///< the meter's record → the image, for the journal
        std::optional<std::uint32_t> owner; ///< the meter the write goes to
    };

    RecordState& at(MemoryRecord record) { return m_records[static_cast<std::size_t>(record) - 1]; }
    const RecordState& at(MemoryRecord record) const
    {
        return m_records[static_cast<std::size_t>(record) - 1];
    }
    Commitment* commitmentOf(std::uint8_t write);
    Owner ownerNow() const;
    void setOwner(Owner& owner, std::optional<std::uint32_t> meter) const;
    void identify(std::uint32_t Gyartasiszam);
    bool backUp(MemoryRecord record);
    void endWrite(MemoryRecord record, WriteOutcome outcome, std::vector<FieldChange> differences = {},
                  std::optional<std::uint32_t> other = std::nullopt);
    void cancelWrite(MemoryRecord record);
    void tell(WriteNotice notice) { emit noticed(notice); }
    std::span<std::uint8_t> imageBytes(MemoryRecord record);
    std::span<const std::uint8_t> meterBytes(MemoryRecord record) const;
    std::span<const std::uint8_t> imageBytes(MemoryRecord record) const;

    DeviceMemory& m_images;
    Line& m_line;
    Reviewer m_reviewer;
    WriteHistory* m_history = nullptr;
    QString m_user;
    std::optional<std::uint32_t> m_lineMeter;
    std::optional<std::uint32_t> m_lastMeter; ///< the meter identified last, for the review
    unsigned m_lineEpoch = 0;
    DeviceMemory m_meterMemory; ///< the meter's records as last read
    std::array<RecordState, 3> m_records{};
    /// Write_Digout, Write_DAcalib, Write_DAtest.
    std::array<Commitment, 3> m_values{};

    friend struct DeviceModelTestAccess; ///< tests set the meter's records up byte by byte
};

} // namespace kvam
