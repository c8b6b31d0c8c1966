#include "device/DeviceModel.h"

#include "device/MeterRules.h"
#include "protocol/Commands.h"
#include "protocol/ServiceCodes.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace kvam {

DeviceModel::DeviceModel(QObject* parent) : QObject(parent)
{
    connect(&m_session, &WriteSession::writeFinished, this, &DeviceModel::writeFinished);
    connect(&m_session, &WriteSession::writeRefused, this, &DeviceModel::writeRefused);
    connect(&m_session, &WriteSession::foreignFactoryKept, this, &DeviceModel::foreignFactoryKept);
    connect(&m_session, &WriteSession::noticed, this, &DeviceModel::writeNoticed);
    connect(&m_session, &WriteSession::imageRestored, this, [this](MemoryRecord record) {
        if (record == MemoryRecord::Ram2) {
            hold(m_ram2Held);
            emit ram2Changed(m_memory.ram2);
        } else if (record == MemoryRecord::Ram3) {
            hold(m_ram3Held);
            emit ram3Changed(m_memory.ram3);
        }
    });
}

void DeviceModel::writeNoticed(const WriteNotice& notice)
{
    emit this->notice(writeNoticeText(notice, currentLanguage()) + QStringLiteral("\r\n"));
}

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
    m_session.askRead(Read_RAM2);
    m_session.askRead(Read_RAM3);
}

void DeviceModel::pageChanged(const PagePolls& polls)
{
    m_stateAnswerRereadsConfig = polls.stateAnswerRereadsConfig;
    engine().CoolPageControl1Change(polls);
    if (!polls.keepsPrevious)
        rereadConfig();
    m_session.pageChanged(!polls.keepsPrevious && polls.polls(Read_RAM1));
}

void DeviceModel::ReadRamClick()
{
    m_requests.SettingsLoaded = false;
    rereadConfig();
    emit configReadAsked();
}

bool DeviceModel::WriteRamClick()
{
    if (!configWritable())
        return false;
    // Into copies first, so the images change in one step, as the editors show them now.
    Ram2Image ram2 = m_memory.ram2;
    Ram3Image ram3 = m_memory.ram3;
    emit packingRam2(ram2);
    emit packingRam3(ram3);
    return m_session.submit(m_session.editors(ram2, ram3));
}

void DeviceModel::packRam2()
{
    Ram2Image ram2 = m_memory.ram2;
    emit packingRam2(ram2);
    m_memory.ram2 = ram2;
}

void DeviceModel::loadSettings(const Ram2Image& ram2, const Ram3Image& ram3)
{
    constexpr MemoryRecord kLoaded[] = {MemoryRecord::Ram2, MemoryRecord::Ram3};
    m_memory.ram2 = ram2;
    m_memory.ram3 = ram3;
    m_requests.SettingsLoaded = true;
    // Reads asked for before the load (at start-up, by a page change or the read button) would
    // replace the loaded records with the meter's when they are finally answered.
    engine().setFlag(Read_RAM2, false);
    engine().setFlag(Read_RAM3, false);
    // What the user loads is written only when the user writes it: an owed write of the images
    // the load replaces must not carry the loaded records.
    m_session.imagesLoaded(kLoaded, get(ram3, ram3::Gyartasiszam));
    hold(m_ram2Held);
    hold(m_ram3Held);
    emit ram2Changed(m_memory.ram2);
    emit ram3Changed(m_memory.ram3);
}

void DeviceModel::loadRecordFile(const Ram2Image& ram2)
{
    // A record file carries no factory number: it is meant for the meter whose records are held.
    constexpr MemoryRecord kLoaded[] = {MemoryRecord::Ram2};
    m_session.imagesLoaded(kLoaded, std::nullopt);
    m_memory.ram2 = ram2;
    hold(m_ram2Held);
    emit ram2Changed(m_memory.ram2);
}

bool DeviceModel::calibrate(CalibrationStep step, int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    return m_session.submit(m_session.calibration(step, channel, m_caldata));
}

bool DeviceModel::calibrateNominal(int channel)
{
    return calibrate(CalibrationStep::Nominal, channel);
}

bool DeviceModel::calibrateOffset(int channel)
{
    return calibrate(CalibrationStep::Offset, channel);
}

bool DeviceModel::clearOffset(int channel)
{
    return calibrate(CalibrationStep::ClearOffset, channel);
}

void DeviceModel::requestDaTest()
{
    m_session.commit(Write_DAtest);
}

bool DeviceModel::energyClearable() const
{
    return m_ram1Held && m_session.meterRam1Held();
}

bool DeviceModel::clearEnergy()
{
    return energyClearable() && m_session.submit(m_session.energyClear());
}

void DeviceModel::requestService(std::uint8_t code)
{
    m_requests.ServiceCode = code;
    engine().setFlag(Read_State, true);
}

void DeviceModel::setDigout(std::uint8_t byte)
{
    m_requests.DigoutByte = byte;
    m_session.commit(Write_Digout);
}

void DeviceModel::setDaCalCode(std::uint8_t code)
{
    m_requests.DAcalCode = code;
    m_session.commit(Write_DAcalib);
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
        m_serviceHeld =
            serviceResetsRecords(m_requests.ServiceCode) && m_session.verifying() && m_serviceHeldFor < 10;
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
    m_session.requestSent(code);
}

bool DeviceModel::readReplacesImage(std::uint8_t read, bool asked) const
{
    // While a write of the record waits for its slot, the image holds what it will send: the
    // meter's old record must not replace it (the read-back after the write shows what the meter
    // then holds). Nor does an answer to a configuration read that a settings load withdrew while
    // it was on its way replace the loaded record.
    if (const auto record = memoryRecordOf(read); record && flag(writeCommandOf(*record)))
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
    case Read_RAM2:
    case Read_RAM3:
        memoryRecordAnswered(*memoryRecordOf(code), payload);
        break;
    case Write_RAM1:
    case Write_RAM2:
    case Write_RAM3:
    case Write_Digout:
    case Write_DAcalib:
    case Write_DAtest:
        m_session.acknowledged(code);
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
    m_counters.copyFrom(payload);
    m_countersHeld = true;
    // While the energy clear's write waits for its slot the image holds the zeros it will send:
    // the counters read meanwhile are shown but do not undo the clear.
    if (!readReplacesImage(Read_RAM1, true)) {
        emit ram1Changed(m_counters);
        return;
    }
    m_memory.ram1.copyFrom(payload);
    m_session.imageRead(MemoryRecord::Ram1);
    hold(m_ram1Held);
    emit ram1Changed(m_memory.ram1);
}

void DeviceModel::Display_RAM2(const std::uint8_t* payload)
{
    m_memory.ram2.copyFrom(payload); // CopyRxbuffToRam2
    m_session.imageRead(MemoryRecord::Ram2);
    hold(m_ram2Held);
    emit ram2Changed(m_memory.ram2);
}

void DeviceModel::Display_RAM3(const std::uint8_t* payload)
{
    m_memory.ram3.copyFrom(payload);
    m_session.imageRead(MemoryRecord::Ram3);
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
    m_epHeld = true;
    emit epChanged(m_ep);
}

void DeviceModel::Display_Version(const std::uint8_t* payload)
{
    m_version.copyFrom(payload);
    m_versionHeld = true;
    emit versionChanged(m_version);
    if (!firmwareSupported(get(m_version, version::ProgramversionMajor)))
        emit unsupportedDevice(m_version);
}

void DeviceModel::Display_Harmonics(const std::uint8_t* payload)
{
    m_harmonics.copyFrom(payload);
    emit harmonicsChanged(m_harmonics);
}

void DeviceModel::memoryRecordAnswered(MemoryRecord record, const std::uint8_t* payload)
{
    LinkEngine& e = engine();
    const std::uint8_t read = readCommandOf(record);
    // A read the session asked for itself (who is on the line, a backup) changes no image that
    // holds a record: the editors keep what the user is typing.
    const bool own = m_session.ownRead(record);
    // What the user packed stays even when this very answer shows that another meter is on the
    // line and the write is dropped: the editors keep it, the user is told.
    const bool writeWasOwed = e.flag(writeCommandOf(record));
    const bool asked = e.flag(read) && !own;
    if (record == MemoryRecord::Ram1) {
        m_session.recordRead(record, payload);
        if (own) // a verdict's read: the page does not poll it
            e.setFlag(Read_RAM1, false);
        Display_RAM1(payload);
    } else {
        e.setFlag(read, false);
        m_session.recordRead(record, payload);
        const bool held = record == MemoryRecord::Ram2 ? m_ram2Held : m_ram3Held;
        if ((!own || !held) && !writeWasOwed && readReplacesImage(read, asked)) {
            if (record == MemoryRecord::Ram2)
                Display_RAM2(payload);
            else
                Display_RAM3(payload);
        }
    }
    m_session.verify(record, payload);
}

bool DeviceModel::restore(const MeterRecords& records)
{
    return m_session.submit(m_session.restoreOf(records));
}

bool DeviceModel::writeSection(const ComposedSection& section)
{
    return m_session.submit(m_session.sectionWrite(section));
}

} // namespace kvam
