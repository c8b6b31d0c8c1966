#include "device/DeviceModel.h"

#include "device/MeterRules.h"
#include "protocol/Commands.h"

#include <algorithm>
#include <cassert>
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

} // namespace

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
    engine().setFlag(Read_RAM2, true);
    engine().setFlag(Read_RAM3, true);
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
}

void DeviceModel::readRam()
{
    m_requests.SettingsLoaded = false;
    rereadConfig();
}

bool DeviceModel::writeConfig()
{
    if (!configWritable())
        return false;
    // Into copies first, so the images change in one step, as the editors show them now.
    Ram2Image ram2 = m_memory.ram2;
    Ram3Image ram3 = m_memory.ram3;
    emit packingRam2(ram2);
    emit packingRam3(ram3);
    m_memory.ram2 = ram2;
    m_memory.ram3 = ram3;
    commitForWrite(Write_RAM2);
    commitForWrite(Write_RAM3);
    return true;
}

void DeviceModel::packRam2()
{
    Ram2Image ram2 = m_memory.ram2;
    emit packingRam2(ram2);
    m_memory.ram2 = ram2;
}

void DeviceModel::loadSettings(const Ram2Image& ram2, const Ram3Image& ram3)
{
    m_memory.ram2 = ram2;
    m_memory.ram3 = ram3;
    m_requests.SettingsLoaded = true;
    // Reads asked for before the load (at start-up, by a page change or the read button) would
    // replace the loaded records with the meter's when they are finally answered.
    engine().setFlag(Read_RAM2, false);
    engine().setFlag(Read_RAM3, false);
    hold(m_ram2Held);
    hold(m_ram3Held);
    emit ram2Changed(m_memory.ram2);
    emit ram3Changed(m_memory.ram3);
}

void DeviceModel::loadRecordFile(const Ram2Image& ram2)
{
    m_memory.ram2 = ram2;
    hold(m_ram2Held);
    emit ram2Changed(m_memory.ram2);
}

bool DeviceModel::calibrateNominal(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    const auto ch = static_cast<std::size_t>(channel);
    set(m_memory.ram3, ram3::ADrms, ch, get(m_caldata, caldata::ADrms, ch));
    commitForWrite(Write_RAM3);
    return true;
}

bool DeviceModel::calibrateOffset(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    const auto ch = static_cast<std::size_t>(channel);
    set(m_memory.ram3, ram3::Offset, ch, get(m_caldata, caldata::Average, ch));
    commitForWrite(Write_RAM3);
    return true;
}

bool DeviceModel::clearOffset(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    set(m_memory.ram3, ram3::Offset, static_cast<std::size_t>(channel), std::int16_t(0));
    commitForWrite(Write_RAM3);
    return true;
}

void DeviceModel::requestDaTest()
{
    engine().setFlag(Write_DAtest, true);
}

bool DeviceModel::clearEnergy()
{
    if (!m_ram1Held)
        return false;
    std::fill(m_memory.ram1.data() + ram1::EPplus.offset, m_memory.ram1.data() + ram1::EnergyAux.end(), 0);
    commitForWrite(Write_RAM1);
    return true;
}

void DeviceModel::requestService(std::uint8_t code)
{
    m_requests.ServiceCode = code;
    engine().setFlag(Read_State, true);
}

void DeviceModel::setDigout(std::uint8_t byte)
{
    m_requests.DigoutByte = byte;
    engine().setFlag(Write_Digout, true);
}

void DeviceModel::setDaCalCode(std::uint8_t code)
{
    m_requests.DAcalCode = code;
    engine().setFlag(Write_DAcalib, true);
}

void DeviceModel::requestPayload(std::uint8_t code, std::uint8_t* payload, int size)
{
    const auto n = static_cast<std::size_t>(std::max(size, 0));
    std::fill(payload, payload + n, std::uint8_t{0});
    auto copy = [&](const std::uint8_t* from, std::size_t count) {
        std::memcpy(payload, from, std::min(n, count));
    };
    switch (code) {
    case Read_State:
        copy(&m_requests.ServiceCode, 1);
        break;
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
    if (code == Read_State)
        m_requests.ServiceCode = 0;
    // The image went out as the user last committed it (the payload was taken just before).
    if (code <= kCommandCount)
        m_sent[code] = m_committed[code];
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
        Display_RAM1(payload);
        break;
    case Read_RAM2:
    case Read_RAM3: {
        const bool asked = e.flag(code);
        e.setFlag(code, false);
        if (!readReplacesImage(code, asked))
            break;
        if (code == Read_RAM2)
            Display_RAM2(payload);
        else
            Display_RAM3(payload);
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
        if (const int readBack = commandInfo(code)->readBack)
            e.setFlag(readBack, true); // read back what the meter now holds
        break;
    }
    case Write_Digout:
    case Write_DAcalib:
    case Write_DAtest:
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
    hold(m_ram1Held);
    emit ram1Changed(m_memory.ram1);
}

void DeviceModel::Display_RAM2(const std::uint8_t* payload)
{
    m_memory.ram2.copyFrom(payload); // CopyRxbuffToRam2
    hold(m_ram2Held);
    emit ram2Changed(m_memory.ram2);
}

void DeviceModel::Display_RAM3(const std::uint8_t* payload)
{
    m_memory.ram3.copyFrom(payload);
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

} // namespace kvam
