#include "device/WriteSession.h"

#include "device/MeterRules.h"
#include "protocol/Commands.h"
#include "records/RecordLayout.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kvam {

namespace {

constexpr std::uint8_t kValueWrites[] = {Write_Digout, Write_DAcalib, Write_DAtest};

/// Running counters of RAM1: the meter keeps counting between the write and its read-back.
bool runningCounter(const FieldChange& c)
{
    return c.record == MemoryRecord::Ram1 && c.field && c.field->offset >= ram1::EPplus.offset &&
           c.field->end() <= ram1::EnergyAux.end();
}

template <std::size_t N> std::span<const std::uint8_t> bytesOf(const ByteImage<N>& image)
{
    return {image.data(), N};
}

} // namespace

std::vector<FieldChange> WriteProposal::changesOf(MemoryRecord record) const
{
    std::vector<FieldChange> out;
    for (const FieldChange& c : changes)
        if (c.record == record)
            out.push_back(c);
    return out;
}

WriteSession::WriteSession(DeviceMemory& images, Line& line, QObject* parent)
    : QObject(parent), m_images(images), m_line(line)
{
}

// Who is on the line ------------------------------------------------------------------------------

WriteSession::Owner WriteSession::ownerNow() const
{
    return Owner{m_lineMeter, !m_lineMeter, m_lineEpoch};
}

void WriteSession::setOwner(Owner& owner, std::optional<std::uint32_t> meter) const
{
    owner = Owner{meter, false, m_lineEpoch};
}

void WriteSession::lineInterrupted()
{
    m_lineMeter.reset();
    ++m_lineEpoch;
}

void WriteSession::identify(std::uint32_t number)
{
    if (m_lineMeter && *m_lineMeter != number) {
        // No interruption since the meter was identified: the same meter, whose factory number a
        // write has just changed. What belonged to it under the old number still does.
        const std::uint32_t old = *m_lineMeter;
        for (RecordState& r : m_records) {
            for (Owner* o : {&r.image, &r.meterCopy})
                if (o->meter == old)
                    o->meter = number;
            if (r.owner == old)
                r.owner = number;
        }
    }
    m_lineMeter = number;
    m_lastMeter = number;
    for (RecordState& r : m_records)
        for (Owner* o : {&r.image, &r.meterCopy})
            if (o->pending && o->epoch == m_lineEpoch)
                *o = Owner{number, false, m_lineEpoch};
    // An owed write of another meter's record never reaches this one.
    for (MemoryRecord r : kAllMemoryRecords)
        if (m_line.flag(writeCommandOf(r)) && at(r).image.meter != m_lineMeter)
            endWrite(r, WriteOutcome::OtherMeter, {}, number);
}

MeterRecords WriteSession::meterRecords() const
{
    MeterRecords r;
    const std::optional<std::uint32_t> meter = m_lineMeter ? m_lineMeter : m_lastMeter;
    if (!meter)
        return r;
    r.Gyartasiszam = *meter;
    auto mine = [&](MemoryRecord rec) { return at(rec).meterHeld && at(rec).meterCopy.meter == meter; };
    if (mine(MemoryRecord::Ram1))
        r.ram1 = m_meterMemory.ram1;
    if (mine(MemoryRecord::Ram2))
        r.ram2 = m_meterMemory.ram2;
    if (mine(MemoryRecord::Ram3))
        r.ram3 = m_meterMemory.ram3;
    return r;
}

bool WriteSession::writeOwed(MemoryRecord record) const
{
    return m_line.flag(writeCommandOf(record)) || at(record).verifying;
}

bool WriteSession::verifying() const
{
    return std::any_of(m_records.begin(), m_records.end(), [](const RecordState& r) { return r.verifying; });
}

bool WriteSession::meterRam1Held() const
{
    const RecordState& r = at(MemoryRecord::Ram1);
    return m_lineMeter && r.meterHeld && r.meterCopy.meter == m_lineMeter;
}

std::span<std::uint8_t> WriteSession::imageBytes(MemoryRecord record)
{
    switch (record) {
    case MemoryRecord::Ram1:
        return {m_images.ram1.data(), m_images.ram1.size()};
    case MemoryRecord::Ram3:
        return {m_images.ram3.data(), m_images.ram3.size()};
    case MemoryRecord::Ram2:
        break;
    }
    return {m_images.ram2.data(), m_images.ram2.size()};
}

std::span<const std::uint8_t> WriteSession::imageBytes(MemoryRecord record) const
{
    return const_cast<WriteSession*>(this)->imageBytes(record);
}

std::span<const std::uint8_t> WriteSession::meterBytes(MemoryRecord record) const
{
    switch (record) {
    case MemoryRecord::Ram1:
        return bytesOf(m_meterMemory.ram1);
    case MemoryRecord::Ram3:
        return bytesOf(m_meterMemory.ram3);
    case MemoryRecord::Ram2:
        break;
    }
    return bytesOf(m_meterMemory.ram2);
}

// Proposals ---------------------------------------------------------------------------------------

WriteProposal WriteSession::editors(const Ram2Image& ram2, const Ram3Image& ram3) const
{
    WriteProposal p;
    p.ram2 = ram2;
    p.ram3 = ram3;
    return p;
}

WriteProposal WriteSession::calibration(CalibrationStep step, int channel, const CaldataRecord& caldata) const
{
    WriteProposal p;
    p.source = WriteProposal::Source::Calibration;
    p.ram3 = m_images.ram3;
    const auto ch = static_cast<std::size_t>(channel);
    switch (step) {
    case CalibrationStep::Nominal:
        set(*p.ram3, ram3::ADrms, ch, get(caldata, caldata::ADrms, ch));
        break;
    case CalibrationStep::Offset:
        set(*p.ram3, ram3::Offset, ch, get(caldata, caldata::Average, ch));
        break;
    case CalibrationStep::ClearOffset:
        set(*p.ram3, ram3::Offset, ch, std::int16_t(0));
        break;
    }
    return p;
}

WriteProposal WriteSession::energyClear() const
{
    WriteProposal p;
    p.source = WriteProposal::Source::EnergyClear;
    p.ram1 = m_meterMemory.ram1;
    p.owner = m_lineMeter;
    std::fill(p.ram1->data() + ram1::EPplus.offset, p.ram1->data() + ram1::EnergyAux.end(), 0);
    return p;
}

WriteProposal WriteSession::restoreOf(const MeterRecords& records) const
{
    WriteProposal p;
    p.source = WriteProposal::Source::Restore;
    p.ram2 = records.ram2;
    p.ram3 = records.ram3;
    p.owner = records.Gyartasiszam;
    return p;
}

std::optional<ComposedSection> WriteSession::composeSection(const SectionReader& read, SectionPolicy policy,
                                                            const QStringList& keep, const QString& where,
                                                            QString* error) const
{
    ComposedSection c;
    std::optional<Ram2Image> base2 = m_images.ram2;
    std::optional<Ram3Image> base3 = m_images.ram3;
    if (policy == SectionPolicy::RefuseDamaged) {
        // Every field the section leaves out (record heads, carried bytes) as the meter holds it.
        const MeterRecords meter = meterRecords();
        base2 = meter.ram2;
        base3 = meter.ram3;
        if (!base2 || !base3) {
            *error = QStringLiteral("%1: the meter's records are not read yet").arg(where);
            return std::nullopt;
        }
    }
    c.ram2 = *base2;
    c.ram3 = *base3;
    QStringList defaulted;
    if (!read(c.ram2, c.ram3, &defaulted, error))
        return std::nullopt;
    if (policy == SectionPolicy::RefuseDamaged && !defaulted.isEmpty()) {
        *error = QStringLiteral("%1: damaged: %2 missing or not a number")
                     .arg(where, defaulted.mid(0, 5).join(QStringLiteral(", ")) +
                                     (defaulted.size() > 5 ? QStringLiteral(" ...") : QString()));
        return std::nullopt;
    }
    c.owner = get(c.ram3, ram3::Gyartasiszam);
    // Fields kept per meter: the meter's bytes stand in the composed records.
    for (const QString& k : keep) {
        const qsizetype bracket = k.indexOf(QLatin1Char('['));
        const QByteArray name = k.left(bracket < 0 ? k.size() : bracket).toLatin1();
        for (MemoryRecord r : {MemoryRecord::Ram2, MemoryRecord::Ram3}) {
            const FieldInfo* f = memoryRecordLayout(r).field(name.constData());
            if (!f)
                continue;
            std::size_t from = f->offset;
            std::size_t size = f->size();
            if (bracket >= 0) {
                bool ok = false;
                const qulonglong index = k.mid(bracket + 1).chopped(1).toULongLong(&ok);
                if (!ok || !k.endsWith(QLatin1Char(']')) || index >= f->count) {
                    *error = QStringLiteral("%1: no field %2 to keep").arg(where, k);
                    return std::nullopt;
                }
                from += std::size_t(index) * f->width();
                size = f->width();
            }
            std::uint8_t* to = r == MemoryRecord::Ram2 ? c.ram2.data() : c.ram3.data();
            const std::uint8_t* source = r == MemoryRecord::Ram2 ? base2->data() : base3->data();
            std::memcpy(to + from, source + from, size);
            break;
        }
    }
    c.changes = diffRecord(MemoryRecord::Ram2, *base2, c.ram2);
    for (const FieldChange& ch : diffRecord(MemoryRecord::Ram3, *base3, c.ram3))
        c.changes.push_back(ch);
    return c;
}

WriteProposal WriteSession::sectionWrite(const ComposedSection& section) const
{
    WriteProposal p;
    p.source = WriteProposal::Source::Section;
    p.owner = section.owner;
    for (const FieldChange& c : section.changes) {
        if (c.record == MemoryRecord::Ram2)
            p.ram2 = section.ram2;
        else if (c.record == MemoryRecord::Ram3)
            p.ram3 = section.ram3;
    }
    return p;
}

bool WriteSession::submit(WriteProposal p)
{
    if (!p.ram1 && !p.ram2 && !p.ram3)
        return false;
    const bool ownerNamed = p.owner.has_value(); // a backup's meter, the meter on the line
    if (!p.owner) {
        const MemoryRecord first = p.ram3   ? MemoryRecord::Ram3
                                   : p.ram2 ? MemoryRecord::Ram2
                                            : MemoryRecord::Ram1;
        p.owner = at(first).image.meter;
    }
    p.meter = m_lineMeter;
    p.meterRecords = meterRecords();
    if (p.ram2) {
        // The modules fitted are those of the factory record written with it, or else of the
        // meter's own.
        if (p.ram3 && !p.foreign())
            applyMeterRules(*p.ram2, *p.ram3);
        else if (p.meterRecords.ram3)
            applyMeterRules(*p.ram2, *p.meterRecords.ram3);
        else if (p.ram3)
            applyMeterRules(*p.ram2, *p.ram3);
    }
    auto compare = [&](MemoryRecord r, std::span<const std::uint8_t> proposed, bool meterHeld) {
        const auto base = meterHeld ? meterBytes(r) : std::span<const std::uint8_t>(imageBytes(r));
        for (FieldChange& c : diffRecord(r, base, proposed))
            p.changes.push_back(c);
    };
    if (p.ram1)
        compare(MemoryRecord::Ram1, bytesOf(*p.ram1), p.meterRecords.ram1.has_value());
    if (p.ram2)
        compare(MemoryRecord::Ram2, bytesOf(*p.ram2), p.meterRecords.ram2.has_value());
    if (p.ram3)
        compare(MemoryRecord::Ram3, bytesOf(*p.ram3), p.meterRecords.ram3.has_value());

    ReviewDecision decision{true, false};
    if (m_reviewer) {
        decision = m_reviewer(p);
        // A review that found nothing to change writes nothing.
        if (!decision.write || p.changes.empty())
            return false;
    }
    std::optional<std::uint32_t> owner = p.owner;
    if (p.foreign()) {
        // What is written now belongs to the meter on the line.
        if (p.ram3 && !p.writes(MemoryRecord::Ram3, decision.includeFactory)) {
            p.ram3.reset();
            tell(WriteNotice::of(WriteNotice::Kind::FactoryKept, MemoryRecord::Ram3, p.owner, p.meter));
            if (!p.ram1 && !p.ram2) { // nothing is left to write: the user must hear why
                emit foreignFactoryKept(*p.owner, *p.meter);
                return false;
            }
        }
        owner = p.meter;
    }
    // Unless the proposal named the meter or the user chose to write another meter's records to the
    // one on the line, each image stays with the meter it came from: after the line changed, the
    // factory record may already be the new meter's while the configuration is still the one read
    // from the old one, whose write must not reach the new meter.
    const bool named = ownerNamed || p.foreign();
    auto commitRecord = [&](MemoryRecord r, std::span<const std::uint8_t> bytes) {
        const auto image = imageBytes(r);
        std::memcpy(image.data(), bytes.data(), image.size());
        RecordState& s = at(r);
        const std::optional<std::uint32_t> own = s.image.meter;
        const std::optional<std::uint32_t> recordOwner = !named && own ? own : owner;
        setOwner(s.image, recordOwner);
        s.owner = recordOwner;
        commit(writeCommandOf(r));
        // A press is judged by the meter on the line when it is made (and the review showed it):
        // another meter's record is dropped now, not sent should that meter come back before the
        // write's turn.
        if (m_lineMeter && recordOwner && *recordOwner != *m_lineMeter)
            endWrite(r, WriteOutcome::OtherMeter, {}, m_lineMeter);
    };
    if (p.ram1)
        commitRecord(MemoryRecord::Ram1, bytesOf(*p.ram1));
    if (p.ram2)
        commitRecord(MemoryRecord::Ram2, bytesOf(*p.ram2));
    if (p.ram3)
        commitRecord(MemoryRecord::Ram3, bytesOf(*p.ram3));
    if (p.source == WriteProposal::Source::Restore) {
        if (p.ram2)
            emit imageRestored(MemoryRecord::Ram2);
        if (p.ram3)
            emit imageRestored(MemoryRecord::Ram3);
    }
    return true;
}

WriteSession::Commitment* WriteSession::commitmentOf(std::uint8_t write)
{
    if (const auto record = memoryRecordOf(write); record && writesMemoryRecord(write))
        return &at(*record).commitment;
    for (std::size_t i = 0; i < std::size(kValueWrites); ++i)
        if (kValueWrites[i] == write)
            return &m_values[i];
    return nullptr;
}

void WriteSession::commit(std::uint8_t write)
{
    if (Commitment* c = commitmentOf(write))
        ++c->committed;
    m_line.setFlag(write, true);
}

// Reads -------------------------------------------------------------------------------------------

void WriteSession::askRead(std::uint8_t read)
{
    if (const auto record = memoryRecordOf(read))
        at(*record).ownRead = false;
    m_line.setFlag(read, true);
}

void WriteSession::askOwnRead(std::uint8_t read)
{
    if (m_line.flag(read))
        return;
    if (const auto record = memoryRecordOf(read))
        at(*record).ownRead = true;
    m_line.setFlag(read, true);
}

void WriteSession::pageChanged(bool pollsRam1)
{
    if (pollsRam1)
        at(MemoryRecord::Ram1).ownRead = false; // the page's poll now
    // A page that does not poll a record still lets a write's read-back come.
    for (MemoryRecord r : kAllMemoryRecords)
        if (at(r).verifying)
            askOwnRead(readCommandOf(r));
}

// The request and answer paths --------------------------------------------------------------------

bool WriteSession::mayRequest(std::uint8_t code)
{
    if (!writesMemoryRecord(code))
        return true;
    const MemoryRecord record = *memoryRecordOf(code);
    RecordState& s = at(record);
    if (!m_lineMeter) {
        // The line was interrupted (or nobody answered yet): the meter must say who it is first.
        askOwnRead(Read_RAM3);
        return false;
    }
    if (s.image.meter != m_lineMeter) {
        endWrite(record, WriteOutcome::OtherMeter, {}, m_lineMeter);
        return false;
    }
    if (s.backedUp == s.commitment.committed)
        return true;
    return backUp(record);
}

bool WriteSession::backUp(MemoryRecord record)
{
    RecordState& s = at(record);
    const std::uint8_t write = writeCommandOf(record);
    const bool held = s.meterHeld && s.meterCopy.meter == m_lineMeter;
    if (m_history && !held) {
        // The backup keeps the meter's record as the meter holds it: read it first.
        askOwnRead(readCommandOf(record));
        return false;
    }
    const auto image = imageBytes(record);
    s.changes = held ? diffRecord(record, meterBytes(record), image) : std::vector<FieldChange>{};
    s.owner = m_lineMeter;
    if (m_history) {
        QString reason;
        if (!m_history->backup(meterRecords(), record, &reason)) {
            m_line.setFlag(write, false);
            s.commitment.sent = s.commitment.committed;
            tell(WriteNotice::of(WriteNotice::Kind::NoBackup, record, m_lineMeter, std::nullopt, reason));
            emit writeRefused(record, reason);
            return false;
        }
    }
    s.backedUp = s.commitment.committed;
    return true;
}

void WriteSession::requestSent(std::uint8_t code)
{
    // The image or value went out as the user last committed it (the payload was taken just before).
    if (Commitment* c = commitmentOf(code))
        c->sent = c->committed;
    if (!writesMemoryRecord(code))
        return;
    const MemoryRecord record = *memoryRecordOf(code);
    RecordState& s = at(record);
    const auto bytes = imageBytes(record);
    s.sent.assign(bytes.begin(), bytes.end());
    s.wentOut = true;
    s.verifying = false;
}

bool WriteSession::acknowledged(std::uint8_t code)
{
    // An acknowledgement ends only the write it acknowledges: when the user committed the image or
    // value again after that write went out (the answer came in time, or late, after the time-out),
    // the newer one still goes out, and the read-back waits for its own answer.
    Commitment* c = commitmentOf(code);
    if (c && c->newer())
        return false;
    m_line.setFlag(code, false);
    if (!writesMemoryRecord(code))
        return true;
    // The read-back is the verdict of a write that went out; an unasked acknowledgement only reads
    // the record again.
    const MemoryRecord record = *memoryRecordOf(code);
    RecordState& s = at(record);
    if (s.wentOut)
        s.verifying = true;
    if (const int readBack = commandInfo(code)->readBack)
        askRead(static_cast<std::uint8_t>(readBack)); // read back what the meter now holds
    else if (s.verifying)
        askOwnRead(readCommandOf(record)); // the energy clear has no read-back: the verdict needs one
    return true;
}

bool WriteSession::recordRead(MemoryRecord record, const std::uint8_t* payload)
{
    RecordState& s = at(record);
    const bool own = s.ownRead;
    s.ownRead = false;
    if (record == MemoryRecord::Ram3)
        identify(get(*reinterpret_cast<const Ram3Image*>(payload), ram3::Gyartasiszam));
    // Whose record this is, the meter's RAM3 tells: asked before the line can be interrupted again.
    if (!m_lineMeter && record != MemoryRecord::Ram3)
        askOwnRead(Read_RAM3);
    if (record == MemoryRecord::Ram1)
        m_meterMemory.ram1.copyFrom(payload);
    else if (record == MemoryRecord::Ram2)
        m_meterMemory.ram2.copyFrom(payload);
    else
        m_meterMemory.ram3.copyFrom(payload);
    s.meterHeld = true;
    s.meterCopy = ownerNow();
    return own;
}

void WriteSession::imageRead(MemoryRecord record)
{
    at(record).image = ownerNow();
}

void WriteSession::verify(MemoryRecord record, const std::uint8_t* payload)
{
    RecordState& s = at(record);
    if (!s.verifying)
        return;
    if (!m_lineMeter) {
        // Not known whose record this is: ask again once the meter said who it is.
        askRead(readCommandOf(record));
        askOwnRead(Read_RAM3);
        return;
    }
    const std::span<const std::uint8_t> read(payload, meterBytes(record).size());
    // A RAM3 write may give the meter a new factory number: the read-back then shows the number
    // written.
    const bool renamed = record == MemoryRecord::Ram3 && s.sent.size() == read.size() &&
                         std::memcmp(s.sent.data() + ram3::Gyartasiszam.offset,
                                     read.data() + ram3::Gyartasiszam.offset, 4) == 0;
    if (s.owner && *s.owner != *m_lineMeter && !renamed) {
        endWrite(record, WriteOutcome::OtherMeter, {}, m_lineMeter);
        return;
    }
    std::vector<FieldChange> differences = diffRecord(record, s.sent, read);
    if (record == MemoryRecord::Ram1 && s.meterHeld) {
        // A counter the meter kept counting since it was cleared has still been cleared when it
        // reads back nearer to the value written than it was before.
        std::erase_if(differences, [&](const FieldChange& c) {
            if (!runningCounter(c))
                return false;
            for (const FieldChange& before : s.changes)
                if (before.field == c.field && before.index == c.index)
                    return std::abs(c.after - c.before) < std::abs(before.before - c.before);
            return false;
        });
    }
    if (!differences.empty() && ++s.readBacks < 3 &&
        (s.differing.empty() || !std::equal(s.differing.begin(), s.differing.end(), read.begin()))) {
        // No verdict on one differing record: it may answer a read sent before the write. The
        // meter is asked again; two alike make the verdict.
        s.differing.assign(read.begin(), read.end());
        askRead(readCommandOf(record));
        return;
    }
    const WriteOutcome outcome = differences.empty() ? WriteOutcome::Verified : WriteOutcome::Differs;
    endWrite(record, outcome, std::move(differences));
}

void WriteSession::endWrite(MemoryRecord record, WriteOutcome outcome, std::vector<FieldChange> differences,
                            std::optional<std::uint32_t> other)
{
    RecordState& s = at(record);
    const std::uint8_t write = writeCommandOf(record);
    const bool wentOut = s.wentOut || s.verifying;
    if (outcome == WriteOutcome::OtherMeter) {
        m_line.setFlag(write, false);
        s.commitment.sent = s.commitment.committed;
    }
    JournalEntry entry;
    entry.time = QDateTime::currentDateTime();
    entry.user = m_user;
    entry.record = record;
    entry.outcome = outcome;
    entry.differences = std::move(differences);
    entry.otherMeter = other;
    const std::optional<std::uint32_t> owner = s.owner ? s.owner : s.image.meter;
    entry.Gyartasiszam = owner.value_or(0);
    entry.changes = wentOut ? s.changes : std::vector<FieldChange>{};
    s.wentOut = false;
    s.verifying = false;
    s.backedUp = 0;
    s.differing.clear();
    s.readBacks = 0;

    WriteNotice n = noticeOf(entry);
    n.meter = owner;
    tell(n);
    // A write that never left has nothing in the meter to journal.
    if (m_history && (wentOut || outcome == WriteOutcome::OtherMeter) && owner) {
        QString reason;
        if (!m_history->journal(entry, &reason)) {
            tell(WriteNotice::of(WriteNotice::Kind::JournalFailed, record, owner, std::nullopt, reason));
        }
    }
    emit writeFinished(entry);
}

void WriteSession::cancelWrite(MemoryRecord record)
{
    const std::uint8_t write = writeCommandOf(record);
    RecordState& s = at(record);
    const bool owed = m_line.flag(write);
    m_line.setFlag(write, false);
    // A commitment that never goes out: an acknowledgement of the withdrawn write still on its way
    // ends nothing.
    ++s.commitment.committed;
    if (!owed && s.verifying) {
        // Acknowledged, its read-back still to come: the verdict is taken from a read of the
        // session's own, which leaves the loaded image alone.
        askOwnRead(readCommandOf(record));
        return;
    }
    if (owed && s.wentOut) {
        endWrite(record, WriteOutcome::NotAcknowledged);
    } else if (owed) {
        tell(WriteNotice::of(WriteNotice::Kind::LoadReplaced, record, std::nullopt));
    }
    // What belongs to the record stays; its write is over.
    const Commitment commitment = s.commitment;
    const Owner image = s.image;
    const Owner meterCopy = s.meterCopy;
    const bool meterHeld = s.meterHeld;
    const bool own = s.ownRead;
    s = RecordState{};
    s.commitment = commitment;
    s.image = image;
    s.meterCopy = meterCopy;
    s.meterHeld = meterHeld;
    s.ownRead = own;
}

void WriteSession::imagesLoaded(std::span<const MemoryRecord> records, std::optional<std::uint32_t> owner)
{
    for (MemoryRecord r : records) {
        if (owner)
            setOwner(at(r).image, owner);
        cancelWrite(r);
    }
}

void WriteSession::finish()
{
    for (MemoryRecord r : kAllMemoryRecords)
        if (at(r).wentOut || at(r).verifying)
            endWrite(r, WriteOutcome::NotAcknowledged);
}

} // namespace kvam
