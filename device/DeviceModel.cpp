#include "device/DeviceModel.h"

#include "device/MeterRules.h"
#include "protocol/Commands.h"
#include "protocol/ServiceCodes.h"
#include "records/RecordLayout.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace kvam {

namespace {

/// The write that carries the memory record a read fetches: the command whose request is a whole
/// record of the size the read's answer carries (every record has a size of its own); 0 for none.
std::uint8_t writeOfRecord(std::uint8_t read)
{
    const int size = answerRecordSize(read);
    for (const CommandInfo& c : commandTable())
        if (size > 0 && c.request == RequestKind::Record && c.requestSize == size)
            return c.code;
    return 0;
}

constexpr MemoryRecord kMemoryRecords[] = {MemoryRecord::Ram1, MemoryRecord::Ram2, MemoryRecord::Ram3};

/// The memory record a RAM read answers or a RAM write carries (by the record's size, which
/// tells the records apart).
std::optional<MemoryRecord> recordOfCommand(std::uint8_t code)
{
    const CommandInfo* info = commandInfo(code);
    if (!info)
        return std::nullopt;
    const int size = info->request == RequestKind::Record ? info->requestSize : answerRecordSize(code);
    for (MemoryRecord r : kMemoryRecords)
        if (size > 0 && static_cast<std::size_t>(size) == memoryRecordLayout(r).size)
            return r;
    return std::nullopt;
}

std::uint8_t commandOf(MemoryRecord record, bool write)
{
    for (const CommandInfo& c : commandTable())
        if (recordOfCommand(static_cast<std::uint8_t>(c.code)) == record &&
            (c.request == RequestKind::Record) == write)
            return c.code;
    return 0;
}

std::uint8_t writeOf(MemoryRecord record)
{
    return commandOf(record, true);
}

std::uint8_t readOf(MemoryRecord record)
{
    return commandOf(record, false);
}

/// Running counters of RAM1: the meter keeps counting between the write and its read-back.
bool runningCounter(const FieldChange& c)
{
    return c.record == MemoryRecord::Ram1 && c.field && c.field->offset >= ram1::EPplus.offset &&
           c.field->end() <= ram1::EnergyAux.end();
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

DeviceModel::DeviceModel(QObject* parent) : QObject(parent) {}

LinkEngine& DeviceModel::engine()
{
    assert(m_engine && "DeviceModel::attach() comes before the first intent");
    return *m_engine;
}

void DeviceModel::startUp()
{
    m_requests.SettingsLoaded = false;
    engine().startUp();
}

void DeviceModel::hold(bool& held)
{
    if (held)
        return;
    held = true;
    emit recordsHeldChanged();
}

void DeviceModel::rereadConfig()
{
    if (m_requests.SettingsLoaded)
        return;
    askRead(Read_RAM2);
    askRead(Read_RAM3);
}

void DeviceModel::askRead(std::uint8_t read)
{
    if (const auto record = recordOfCommand(read))
        m_internalRead[slot(*record)] = false;
    engine().setFlag(read, true);
}

void DeviceModel::askOwnRead(std::uint8_t read)
{
    if (engine().flag(read))
        return;
    if (const auto record = recordOfCommand(read))
        m_internalRead[slot(*record)] = true;
    engine().setFlag(read, true);
}

void DeviceModel::commitForWrite(std::uint8_t write)
{
    ++m_committed[write];
    engine().setFlag(write, true);
}

void DeviceModel::pageChanged(const PagePolls& polls)
{
    m_stateAnswerRereadsConfig = polls.stateAnswerRereadsConfig;
    engine().CoolPageControl1Change(polls);
    if (!polls.keepsPrevious)
        rereadConfig();
    if (!polls.keepsPrevious && polls.polls(Read_RAM1))
        m_internalRead[slot(MemoryRecord::Ram1)] = false; // the page's poll now
    // A page that does not poll a record still lets a write's read-back come.
    for (MemoryRecord r : kMemoryRecords)
        if (m_writes[slot(r)].verifying)
            askOwnRead(readOf(r));
}

void DeviceModel::readRam()
{
    m_requests.SettingsLoaded = false;
    rereadConfig();
    emit configReadAsked();
}

bool DeviceModel::writeConfig()
{
    if (!configWritable())
        return false;
    // Into copies first, so the images change in one step, as the editors show them now.
    WriteProposal p;
    p.ram2 = m_memory.ram2;
    p.ram3 = m_memory.ram3;
    emit packingRam2(*p.ram2);
    emit packingRam3(*p.ram3);
    return submit(std::move(p));
}

void DeviceModel::packRam2()
{
    Ram2Image ram2 = m_memory.ram2;
    emit packingRam2(ram2);
    m_memory.ram2 = ram2;
}

void DeviceModel::loadSettings(const Ram2Image& ram2, const Ram3Image& ram3)
{
    setOwner(m_imageOwner[slot(MemoryRecord::Ram2)], get(ram3, ram3::Gyartasiszam));
    setOwner(m_imageOwner[slot(MemoryRecord::Ram3)], get(ram3, ram3::Gyartasiszam));
    m_memory.ram2 = ram2;
    m_memory.ram3 = ram3;
    m_requests.SettingsLoaded = true;
    // Reads asked for before the load (at start-up, by a page change or the read button) would
    // replace the loaded records with the meter's when they are finally answered.
    engine().setFlag(Read_RAM2, false);
    engine().setFlag(Read_RAM3, false);
    // What the user loads is written only when the user writes it: an owed write of the images
    // the load replaces must not carry the loaded records.
    cancelWrite(MemoryRecord::Ram2);
    cancelWrite(MemoryRecord::Ram3);
    hold(m_ram2Held);
    hold(m_ram3Held);
    emit ram2Changed(m_memory.ram2);
    emit ram3Changed(m_memory.ram3);
}

void DeviceModel::loadRecordFile(const Ram2Image& ram2)
{
    // A record file carries no factory number: it is meant for the meter whose records are held.
    cancelWrite(MemoryRecord::Ram2);
    m_memory.ram2 = ram2;
    hold(m_ram2Held);
    emit ram2Changed(m_memory.ram2);
}

bool DeviceModel::calibrateNominal(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    WriteProposal p;
    p.source = WriteProposal::Source::Calibration;
    p.ram3 = m_memory.ram3;
    const auto ch = static_cast<std::size_t>(channel);
    set(*p.ram3, ram3::ADrms, ch, get(m_caldata, caldata::ADrms, ch));
    return submit(std::move(p));
}

bool DeviceModel::calibrateOffset(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    WriteProposal p;
    p.source = WriteProposal::Source::Calibration;
    p.ram3 = m_memory.ram3;
    const auto ch = static_cast<std::size_t>(channel);
    set(*p.ram3, ram3::Offset, ch, get(m_caldata, caldata::Average, ch));
    return submit(std::move(p));
}

bool DeviceModel::clearOffset(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    WriteProposal p;
    p.source = WriteProposal::Source::Calibration;
    p.ram3 = m_memory.ram3;
    set(*p.ram3, ram3::Offset, static_cast<std::size_t>(channel), std::int16_t(0));
    return submit(std::move(p));
}

void DeviceModel::requestDaTest()
{
    commitForWrite(Write_DAtest);
}

bool DeviceModel::energyClearable() const
{
    const std::size_t i = slot(MemoryRecord::Ram1);
    return m_ram1Held && m_lineMeter && m_meterHeld[i] && m_meterOwner[i].meter == m_lineMeter;
}

bool DeviceModel::clearEnergy()
{
    if (!energyClearable())
        return false;
    // The counters of the meter on the line are cleared, with its own record around them.
    WriteProposal p;
    p.source = WriteProposal::Source::EnergyClear;
    p.ram1 = m_meterMemory.ram1;
    p.owner = m_lineMeter;
    std::fill(p.ram1->data() + ram1::EPplus.offset, p.ram1->data() + ram1::EnergyAux.end(), 0);
    return submit(std::move(p));
}

void DeviceModel::requestService(std::uint8_t code)
{
    m_requests.ServiceCode = code;
    engine().setFlag(Read_State, true);
}

void DeviceModel::setDigout(std::uint8_t byte)
{
    m_requests.DigoutByte = byte;
    commitForWrite(Write_Digout);
}

void DeviceModel::setDaCalCode(std::uint8_t code)
{
    m_requests.DAcalCode = code;
    commitForWrite(Write_DAcalib);
}

void DeviceModel::requestPayload(std::uint8_t code, std::uint8_t* payload, int size)
{
    const auto n = static_cast<std::size_t>(std::max(size, 0));
    std::fill(payload, payload + n, std::uint8_t{0});
    auto copy = [&](const std::uint8_t* from, std::size_t count) {
        std::memcpy(payload, from, std::min(n, count));
    };
    switch (code) {
    case Read_State: {
        // A service code that replaces the meter's records waits for a write's read-back: the
        // verdict is on what the user wrote, not on the defaults.
        // Held for a few state requests at most: a read-back that cannot come does not keep it.
        m_serviceHeld = serviceResetsRecords(m_requests.ServiceCode) && verifying() && m_serviceHeldFor < 10;
        m_serviceHeldFor = m_serviceHeld ? m_serviceHeldFor + 1 : 0;
        const std::uint8_t service = m_serviceHeld ? kServiceNone : m_requests.ServiceCode;
        copy(&service, 1);
        break;
    }
    case Write_RAM1:
        copy(m_memory.ram1.data(), m_memory.ram1.size());
        break;
    case Write_RAM2:
        copy(m_memory.ram2.data(), m_memory.ram2.size());
        break;
    case Write_RAM3:
        copy(m_memory.ram3.data(), m_memory.ram3.size());
        break;
    case Write_Digout:
        copy(&m_requests.DigoutByte, 1);
        break;
    case Write_DAcalib:
        copy(&m_requests.DAcalCode, 1);
        break;
    case Write_DAtest: {
        // The value the edit holds when the request goes out, not when the button was pressed.
        const float v = m_daTestSource ? m_daTestSource() : 0.0f;
        copy(reinterpret_cast<const std::uint8_t*>(&v), sizeof v);
        break;
    }
    case Read_Harmonics:
        m_requests.HarmChannel = m_harmonicsChannel;
        copy(&m_requests.HarmChannel, 1);
        break;
    default: // Write_State and Read_EPdata carry a 0; the plain reads nothing
        break;
    }
}

void DeviceModel::requestSent(std::uint8_t code)
{
    // A service request is spent only once it has actually gone out; with no port it waits.
    if (code == Read_State && !m_serviceHeld)
        m_requests.ServiceCode = 0;
    // The image went out as the user last committed it (the payload was taken just before).
    if (code <= kCommandCount)
        m_sent[code] = m_committed[code];
    if (const auto record = recordOfCommand(code); record && code == writeOf(*record)) {
        WriteState& w = m_writes[slot(*record)];
        const auto bytes = imageBytes(*record);
        w.sent.assign(bytes.begin(), bytes.end());
        w.wentOut = true;
        w.verifying = false;
    }
}

bool DeviceModel::readReplacesImage(std::uint8_t read, bool asked) const
{
    // While a write of the record waits for its slot, the image holds what it will send: the
    // meter's old record must not replace it (the read-back after the write shows what the meter
    // then holds). Nor does an answer to a configuration read that a settings load withdrew while
    // it was on its way replace the loaded record.
    if (m_engine && m_engine->flag(writeOfRecord(read)))
        return false;
    return read == Read_RAM1 || asked || !m_requests.SettingsLoaded;
}

void DeviceModel::answerReceived(std::uint8_t code, const std::uint8_t* payload)
{
    LinkEngine& e = engine();
    switch (code) {
    case Read_State:
        Display_State(payload);
        // While a service code still waits to go out, this answer belongs to an earlier state
        // request (a late one): ending the request now would leave the code unsent, to go out with
        // whatever page polls the state next.
        if (m_stateAnswerRereadsConfig && m_requests.ServiceCode == 0) {
            e.setFlag(Read_State, false);
            rereadConfig();
        }
        break;
    case Read_Net:
        Display_Net(payload);
        break;
    case Read_RAM1:
        meterRecordRead(MemoryRecord::Ram1, payload);
        if (m_internalRead[slot(MemoryRecord::Ram1)]) // a verdict's read: the page does not poll it
            e.setFlag(Read_RAM1, false);
        m_internalRead[slot(MemoryRecord::Ram1)] = false;
        Display_RAM1(payload);
        verify(MemoryRecord::Ram1, payload);
        break;
    case Read_RAM2:
    case Read_RAM3: {
        const MemoryRecord record = code == Read_RAM2 ? MemoryRecord::Ram2 : MemoryRecord::Ram3;
        // A read the model asked for itself (who is on the line, a backup) changes no image that
        // holds a record: the editors keep what the user is typing.
        const bool internal = m_internalRead[slot(record)];
        // What the user packed stays even when this very answer shows that another meter is on the
        // line and the write is dropped: the editors keep it, the user is told.
        const bool writeWasOwed = e.flag(writeOfRecord(code));
        const bool asked = e.flag(code) && !internal;
        e.setFlag(code, false);
        m_internalRead[slot(record)] = false;
        if (record == MemoryRecord::Ram3)
            identify(get(*reinterpret_cast<const Ram3Image*>(payload), ram3::Gyartasiszam));
        meterRecordRead(record, payload);
        const bool held = record == MemoryRecord::Ram2 ? m_ram2Held : m_ram3Held;
        if ((!internal || !held) && !writeWasOwed && readReplacesImage(code, asked)) {
            if (code == Read_RAM2)
                Display_RAM2(payload);
            else
                Display_RAM3(payload);
        }
        verify(record, payload);
        break;
    }
    case Write_RAM1:
    case Write_RAM2:
    case Write_RAM3: {
        // An acknowledgement ends only the write it acknowledges: when the user committed the
        // image again after that write went out (the answer came in time, or late, after the
        // time-out), the newer image still goes out, and the read-back waits for its own answer.
        if (m_sent[code] != m_committed[code])
            break;
        e.setFlag(code, false);
        // The read-back is the verdict of a write that went out; an unasked acknowledgement only
        // reads the record again.
        const auto record = recordOfCommand(code);
        if (record && m_writes[slot(*record)].wentOut)
            m_writes[slot(*record)].verifying = true;
        if (const int readBack = commandInfo(code)->readBack)
            askRead(static_cast<std::uint8_t>(readBack)); // read back what the meter now holds
        else if (record && m_writes[slot(*record)].verifying)
            askOwnRead(readOf(*record)); // the energy clear has no read-back: the verdict needs one
        break;
    }
    case Write_Digout:
    case Write_DAcalib:
    case Write_DAtest:
        // As with the memory records: a value set again after the request went out still goes
        // (the end of the analog calibration sequence must not be lost to the step before it).
        if (m_sent[code] == m_committed[code])
            e.setFlag(code, false);
        break;
    case Read_Caldata:
        Display_Caldat(payload);
        break;
    case Read_EPdata:
        Display_EPdata(payload);
        break;
    case Read_Version:
        e.setFlag(Read_Version, false);
        Display_Version(payload);
        break;
    case Read_Harmonics:
        Display_Harmonics(payload);
        break;
    default: // 0, Write_State and unknown codes: nothing to do
        break;
    }
}

void DeviceModel::Display_State(const std::uint8_t* payload)
{
    m_state.copyFrom(payload);
    emit stateChanged(m_state);
}

void DeviceModel::Display_Net(const std::uint8_t* payload)
{
    m_net.copyFrom(payload);
    m_netHeld = true;
    emit netChanged(m_net);
}

void DeviceModel::Display_RAM1(const std::uint8_t* payload)
{
    // While the energy clear's write waits for its slot the image holds the zeros it will send:
    // the counters read meanwhile are shown but do not undo the clear.
    if (!readReplacesImage(Read_RAM1, true)) {
        Ram1Image read;
        read.copyFrom(payload);
        emit ram1Changed(read);
        return;
    }
    m_memory.ram1.copyFrom(payload);
    m_imageOwner[slot(MemoryRecord::Ram1)] = ownerNow();
    hold(m_ram1Held);
    emit ram1Changed(m_memory.ram1);
}

void DeviceModel::Display_RAM2(const std::uint8_t* payload)
{
    m_memory.ram2.copyFrom(payload); // CopyRxbuffToRam2
    m_imageOwner[slot(MemoryRecord::Ram2)] = ownerNow();
    hold(m_ram2Held);
    emit ram2Changed(m_memory.ram2);
}

void DeviceModel::Display_RAM3(const std::uint8_t* payload)
{
    m_memory.ram3.copyFrom(payload);
    m_imageOwner[slot(MemoryRecord::Ram3)] = ownerNow();
    hold(m_ram3Held);
    emit ram3Changed(m_memory.ram3);
}

void DeviceModel::Display_Caldat(const std::uint8_t* payload)
{
    m_caldata.copyFrom(payload);
    emit caldataChanged(m_caldata);
}

void DeviceModel::Display_EPdata(const std::uint8_t* payload)
{
    m_ep.copyFrom(payload);
    emit epChanged(m_ep);
}

void DeviceModel::Display_Version(const std::uint8_t* payload)
{
    m_version.copyFrom(payload);
    emit versionChanged(m_version);
    if (!firmwareSupported(get(m_version, version::ProgramversionMajor)))
        emit unsupportedDevice(m_version);
}

void DeviceModel::Display_Harmonics(const std::uint8_t* payload)
{
    m_harmonics.copyFrom(payload);
    emit harmonicsChanged(m_harmonics);
}

// Safe writes ------------------------------------------------------------------------------------

std::span<std::uint8_t> DeviceModel::imageBytes(MemoryRecord record)
{
    switch (record) {
    case MemoryRecord::Ram1:
        return {m_memory.ram1.data(), m_memory.ram1.size()};
    case MemoryRecord::Ram3:
        return {m_memory.ram3.data(), m_memory.ram3.size()};
    case MemoryRecord::Ram2:
        break;
    }
    return {m_memory.ram2.data(), m_memory.ram2.size()};
}

std::span<const std::uint8_t> DeviceModel::meterBytes(MemoryRecord record) const
{
    switch (record) {
    case MemoryRecord::Ram1:
        return {m_meterMemory.ram1.data(), m_meterMemory.ram1.size()};
    case MemoryRecord::Ram3:
        return {m_meterMemory.ram3.data(), m_meterMemory.ram3.size()};
    case MemoryRecord::Ram2:
        break;
    }
    return {m_meterMemory.ram2.data(), m_meterMemory.ram2.size()};
}

DeviceModel::Owner DeviceModel::ownerNow() const
{
    Owner o;
    o.meter = m_lineMeter;
    o.pending = !m_lineMeter;
    o.epoch = m_lineEpoch;
    return o;
}

void DeviceModel::setOwner(Owner& owner, std::optional<std::uint32_t> meter) const
{
    owner = Owner{meter, false, m_lineEpoch};
}

std::optional<std::uint32_t> DeviceModel::imageOwner(MemoryRecord record) const
{
    return m_imageOwner[slot(record)].meter;
}

bool DeviceModel::writeOwed(MemoryRecord record) const
{
    const WriteState& w = m_writes[slot(record)];
    return (m_engine && m_engine->flag(writeOf(record))) || w.verifying;
}

MeterRecords DeviceModel::meterRecords() const
{
    MeterRecords r;
    const std::optional<std::uint32_t> meter = m_lineMeter ? m_lineMeter : m_lastMeter;
    if (!meter)
        return r;
    r.Gyartasiszam = *meter;
    auto mine = [&](MemoryRecord rec) {
        return m_meterHeld[slot(rec)] && m_meterOwner[slot(rec)].meter == meter;
    };
    if (mine(MemoryRecord::Ram1))
        r.ram1 = m_meterMemory.ram1;
    if (mine(MemoryRecord::Ram2))
        r.ram2 = m_meterMemory.ram2;
    if (mine(MemoryRecord::Ram3))
        r.ram3 = m_meterMemory.ram3;
    return r;
}

void DeviceModel::lineInterrupted()
{
    // Whoever answers next may be another meter: it is known again only by its RAM3.
    m_lineMeter.reset();
    ++m_lineEpoch;
}

void DeviceModel::identify(std::uint32_t number)
{
    if (m_lineMeter && *m_lineMeter != number) {
        // No interruption since the meter was identified: the same meter, whose factory number a
        // write has just changed. What belonged to it under the old number still does.
        const std::uint32_t old = *m_lineMeter;
        for (auto* owners : {&m_imageOwner, &m_meterOwner})
            for (Owner& o : *owners)
                if (o.meter == old)
                    o.meter = number;
        for (WriteState& w : m_writes)
            if (w.owner == old)
                w.owner = number;
    }
    m_lineMeter = number;
    m_lastMeter = number;
    for (auto* owners : {&m_imageOwner, &m_meterOwner})
        for (Owner& o : *owners)
            if (o.pending && o.epoch == m_lineEpoch)
                o = Owner{number, false, m_lineEpoch};
    // An owed write of another meter's record never reaches this one.
    for (MemoryRecord r : kMemoryRecords) {
        if (!m_engine || !m_engine->flag(writeOf(r)))
            continue;
        const std::optional<std::uint32_t> owner = m_imageOwner[slot(r)].meter;
        if (owner != m_lineMeter)
            endWrite(r, WriteOutcome::OtherMeter, {}, number);
    }
}

bool DeviceModel::verifying() const
{
    return std::any_of(m_writes.begin(), m_writes.end(), [](const WriteState& w) { return w.verifying; });
}

void DeviceModel::meterRecordRead(MemoryRecord record, const std::uint8_t* payload)
{
    // Whose record this is, the meter's RAM3 tells: asked before the line can be interrupted again.
    if (!m_lineMeter && record != MemoryRecord::Ram3)
        askOwnRead(Read_RAM3);
    if (record == MemoryRecord::Ram1)
        m_meterMemory.ram1.copyFrom(payload);
    else if (record == MemoryRecord::Ram2)
        m_meterMemory.ram2.copyFrom(payload);
    else
        m_meterMemory.ram3.copyFrom(payload);
    m_meterHeld[slot(record)] = true;
    m_meterOwner[slot(record)] = ownerNow();
}

bool DeviceModel::mayRequest(std::uint8_t code)
{
    const std::optional<MemoryRecord> record = recordOfCommand(code);
    if (!record || code != writeOf(*record))
        return true;
    const std::size_t i = slot(*record);
    if (!m_lineMeter) {
        // The line was interrupted (or nobody answered yet): the meter must say who it is first.
        askOwnRead(Read_RAM3);
        return false;
    }
    if (m_imageOwner[i].meter != m_lineMeter) {
        endWrite(*record, WriteOutcome::OtherMeter, {}, m_lineMeter);
        return false;
    }
    if (m_writes[i].backedUp == m_committed[code])
        return true;
    return backUp(*record);
}

bool DeviceModel::backUp(MemoryRecord record)
{
    const std::size_t i = slot(record);
    WriteState& w = m_writes[i];
    const std::uint8_t write = writeOf(record);
    const bool held = m_meterHeld[i] && m_meterOwner[i].meter == m_lineMeter;
    if (m_history && !held) {
        // The backup keeps the meter's record as the meter holds it: read it first.
        askOwnRead(readOf(record));
        return false;
    }
    const auto image = imageBytes(record);
    w.changes = held ? diffRecord(record, meterBytes(record), image) : std::vector<FieldChange>{};
    w.owner = m_lineMeter;
    if (m_history) {
        QString reason;
        if (!m_history->backup(meterRecords(), record, &reason)) {
            engine().setFlag(write, false);
            m_sent[write] = m_committed[write];
            noteMonitor(QStringLiteral("%1 of meter %2 not written: no backup (%3)")
                            .arg(QLatin1String(memoryRecordName(record)))
                            .arg(*m_lineMeter)
                            .arg(reason));
            emit writeRefused(record, reason);
            return false;
        }
    }
    w.backedUp = m_committed[write];
    return true;
}

void DeviceModel::verify(MemoryRecord record, const std::uint8_t* payload)
{
    WriteState& w = m_writes[slot(record)];
    if (!w.verifying)
        return;
    if (!m_lineMeter) {
        // Not known whose record this is: ask again once the meter said who it is.
        askRead(readOf(record));
        askOwnRead(Read_RAM3);
        return;
    }
    const std::span<const std::uint8_t> read(payload, meterBytes(record).size());
    // A RAM3 write may give the meter a new factory number: the read-back then shows the number
    // written.
    const bool renamed = record == MemoryRecord::Ram3 && w.sent.size() == read.size() &&
                         std::memcmp(w.sent.data() + ram3::Gyartasiszam.offset,
                                     read.data() + ram3::Gyartasiszam.offset, 4) == 0;
    if (w.owner && *w.owner != *m_lineMeter && !renamed) {
        endWrite(record, WriteOutcome::OtherMeter, {}, m_lineMeter);
        return;
    }
    std::vector<FieldChange> differences = diffRecord(record, w.sent, read);
    if (record == MemoryRecord::Ram1 && m_meterHeld[slot(record)]) {
        // A counter the meter kept counting since it was cleared has still been cleared when it
        // reads back nearer to the value written than it was before.
        std::erase_if(differences, [&](const FieldChange& c) {
            if (!runningCounter(c))
                return false;
            for (const FieldChange& before : w.changes)
                if (before.field == c.field && before.index == c.index)
                    return std::abs(c.after - c.before) < std::abs(before.before - c.before);
            return false;
        });
    }
    if (!differences.empty() && ++w.readBacks < 3 &&
        (w.differing.empty() || !std::equal(w.differing.begin(), w.differing.end(), read.begin()))) {
        // No verdict on one differing record: it may answer a read sent before the write. The
        // meter is asked again; two alike make the verdict.
        w.differing.assign(read.begin(), read.end());
        askRead(readOf(record));
        return;
    }
    const WriteOutcome outcome = differences.empty() ? WriteOutcome::Verified : WriteOutcome::Differs;
    endWrite(record, outcome, std::move(differences));
}

void DeviceModel::endWrite(MemoryRecord record, WriteOutcome outcome, std::vector<FieldChange> differences,
                           std::optional<std::uint32_t> other)
{
    WriteState& w = m_writes[slot(record)];
    const std::uint8_t write = writeOf(record);
    const bool wentOut = w.wentOut || w.verifying;
    if (outcome == WriteOutcome::OtherMeter) {
        engine().setFlag(write, false);
        m_sent[write] = m_committed[write];
    }
    JournalEntry entry;
    entry.time = QDateTime::currentDateTime();
    entry.user = m_user;
    entry.record = record;
    entry.outcome = outcome;
    entry.differences = std::move(differences);
    entry.otherMeter = other;
    const std::optional<std::uint32_t> owner = w.owner ? w.owner : m_imageOwner[slot(record)].meter;
    entry.Gyartasiszam = owner.value_or(0);
    entry.changes = wentOut ? w.changes : std::vector<FieldChange>{};
    w.wentOut = false;
    w.verifying = false;
    w.backedUp = 0;
    w.differing.clear();
    w.readBacks = 0;

    const QString name = QLatin1String(memoryRecordName(record));
    const QString meter = owner ? QString::number(*owner) : QStringLiteral("?");
    switch (outcome) {
    case WriteOutcome::Verified:
        noteMonitor(QStringLiteral("%1 of meter %2 written and verified").arg(name, meter));
        break;
    case WriteOutcome::Differs: {
        const QStringList fields =
            differenceRows(entry.differences, QStringLiteral("%1 written %2, read %3"));
        noteMonitor(QStringLiteral("%1 of meter %2 written, but the meter holds otherwise: %3")
                        .arg(name, meter, fields.join(QStringLiteral("; "))));
        break;
    }
    case WriteOutcome::NotAcknowledged:
        noteMonitor(QStringLiteral("%1 of meter %2 not acknowledged").arg(name, meter));
        break;
    case WriteOutcome::OtherMeter:
        noteMonitor(QStringLiteral("%1 of meter %2 not written: meter %3 answered on the line")
                        .arg(name, meter, other ? QString::number(*other) : QStringLiteral("?")));
        break;
    }
    // A write that never left has nothing in the meter to journal.
    if (m_history && (wentOut || outcome == WriteOutcome::OtherMeter) && owner) {
        QString reason;
        if (!m_history->journal(entry, &reason))
            noteMonitor(
                QStringLiteral("The write journal of meter %1 cannot be written: %2").arg(meter, reason));
    }
    emit writeFinished(entry);
}

void DeviceModel::cancelWrite(MemoryRecord record)
{
    const std::uint8_t write = writeOf(record);
    WriteState& w = m_writes[slot(record)];
    const bool owed = m_engine && m_engine->flag(write);
    if (m_engine)
        m_engine->setFlag(write, false);
    // A commitment that never goes out: an acknowledgement of the withdrawn write still on its
    // way ends nothing.
    ++m_committed[write];
    if (!owed && w.verifying) {
        // Acknowledged, its read-back still to come: the verdict is taken from a read of the
        // model's own, which leaves the loaded image alone.
        askOwnRead(readOf(record));
        return;
    }
    if (owed && w.wentOut)
        endWrite(record, WriteOutcome::NotAcknowledged);
    else if (owed)
        noteMonitor(QStringLiteral("%1 not written: the load replaced it")
                        .arg(QLatin1String(memoryRecordName(record))));
    w = WriteState{};
}

void DeviceModel::finish()
{
    for (MemoryRecord r : kMemoryRecords)
        if (m_writes[slot(r)].wentOut || m_writes[slot(r)].verifying)
            endWrite(r, WriteOutcome::NotAcknowledged);
}

bool DeviceModel::restore(const MeterRecords& records)
{
    WriteProposal p;
    p.source = WriteProposal::Source::Restore;
    p.ram1 = records.ram1;
    p.ram2 = records.ram2;
    p.ram3 = records.ram3;
    p.owner = records.Gyartasiszam;
    // The energy counters are not taken back from a backup: a restore is of the configuration.
    p.ram1.reset();
    return submit(std::move(p));
}

bool DeviceModel::writeRecords(const std::optional<Ram2Image>& ram2, const std::optional<Ram3Image>& ram3,
                               std::uint32_t owner)
{
    if (!ram2 && !ram3)
        return false;
    WriteProposal p;
    p.source = WriteProposal::Source::Section;
    p.ram2 = ram2;
    p.ram3 = ram3;
    p.owner = owner;
    return submit(std::move(p));
}

bool DeviceModel::submit(WriteProposal p)
{
    const bool ownerNamed = p.owner.has_value(); // a backup's meter, the meter on the line
    if (!p.owner) {
        const MemoryRecord first = p.ram3   ? MemoryRecord::Ram3
                                   : p.ram2 ? MemoryRecord::Ram2
                                            : MemoryRecord::Ram1;
        p.owner = m_imageOwner[slot(first)].meter;
    }
    p.meter = m_lineMeter;
    p.meterRecords = meterRecords();
    auto compare = [&](MemoryRecord r, std::span<const std::uint8_t> proposed, bool meterHeld) {
        const auto base = meterHeld ? meterBytes(r) : std::span<const std::uint8_t>(imageBytes(r));
        for (FieldChange& c : diffRecord(r, base, proposed))
            p.changes.push_back(c);
    };
    if (p.ram1)
        compare(MemoryRecord::Ram1, {p.ram1->data(), p.ram1->size()}, p.meterRecords.ram1.has_value());
    if (p.ram2)
        compare(MemoryRecord::Ram2, {p.ram2->data(), p.ram2->size()}, p.meterRecords.ram2.has_value());
    if (p.ram3)
        compare(MemoryRecord::Ram3, {p.ram3->data(), p.ram3->size()}, p.meterRecords.ram3.has_value());

    ReviewDecision decision{true, false};
    if (m_reviewer) {
        decision = m_reviewer(p);
        // A review that found nothing to change writes nothing.
        if (!decision.write || p.changes.empty())
            return false;
    }
    std::optional<std::uint32_t> owner = p.owner;
    if (p.foreign()) {
        // Another meter's records: its factory data and calibration stay out unless the user
        // asked for them; what is written now belongs to the meter on the line.
        if (!decision.includeFactory && p.ram3) {
            p.ram3.reset();
            noteMonitor(QStringLiteral("RAM3 of meter %1 not written into meter %2: not asked for")
                            .arg(*p.owner)
                            .arg(*p.meter));
            if (!p.ram1 && !p.ram2) { // nothing is left to write: the user must hear why
                emit foreignFactoryKept(*p.owner, *p.meter);
                return false;
            }
        }
        owner = p.meter;
    }
    // Unless the intent named the meter or the user chose to write another meter's records to the
    // one on the line, each image stays with the meter it came from: after the line changed, the
    // factory record may already be the new meter's while the configuration is still the one read
    // from the old one, whose write must not reach the new meter.
    const bool named = ownerNamed || p.foreign();
    auto commit = [&](MemoryRecord r, std::span<const std::uint8_t> bytes) {
        const auto image = imageBytes(r);
        std::memcpy(image.data(), bytes.data(), image.size());
        const std::optional<std::uint32_t> own = m_imageOwner[slot(r)].meter;
        const std::optional<std::uint32_t> recordOwner = !named && own ? own : owner;
        setOwner(m_imageOwner[slot(r)], recordOwner);
        m_writes[slot(r)].owner = recordOwner;
        commitForWrite(writeOf(r));
        // A press is judged by the meter on the line when it is made (and the review showed it):
        // another meter's record is dropped now, not sent should that meter come back before the
        // write's turn.
        if (m_lineMeter && recordOwner && *recordOwner != *m_lineMeter)
            endWrite(r, WriteOutcome::OtherMeter, {}, m_lineMeter);
    };
    if (p.ram1)
        commit(MemoryRecord::Ram1, {p.ram1->data(), p.ram1->size()});
    if (p.ram2)
        commit(MemoryRecord::Ram2, {p.ram2->data(), p.ram2->size()});
    if (p.ram3)
        commit(MemoryRecord::Ram3, {p.ram3->data(), p.ram3->size()});
    if (p.source == WriteProposal::Source::Restore) {
        if (p.ram2) {
            hold(m_ram2Held);
            emit ram2Changed(m_memory.ram2);
        }
        if (p.ram3) {
            hold(m_ram3Held);
            emit ram3Changed(m_memory.ram3);
        }
    }
    return true;
}

} // namespace kvam
