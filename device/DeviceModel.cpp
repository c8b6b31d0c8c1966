#include "device/DeviceModel.h"

#include "protocol/Commands.h"
#include "views/ViewRecords.h"

#include <algorithm>
#include <cassert>

namespace kvam {

DeviceModel::DeviceModel(QObject* parent) : QObject(parent) {}

LinkEngine& DeviceModel::engine()
{
    assert(m_engine && "DeviceModel::attach() comes before the first intent");
    return *m_engine;
}

void DeviceModel::requestService(std::uint8_t code)
{
    engine().state().ServiceCode = code;
    engine().setFlag(Read_State, true);
}

void DeviceModel::hold(bool& held)
{
    if (held)
        return;
    held = true;
    emit recordsHeldChanged();
}

void DeviceModel::readRam()
{
    engine().state().SettingsLoaded = false;
    engine().setFlag(Read_RAM2, true);
    engine().setFlag(Read_RAM3, true);
}

bool DeviceModel::writeConfig()
{
    if (!configWritable())
        return false;
    engine().setFlag(Write_RAM2, true);
    engine().setFlag(Write_RAM3, true);
    return true;
}

void DeviceModel::settingsLoaded()
{
    engine().state().SettingsLoaded = true;
    // Reads asked for before the load (at start-up, by a page change or the read button) would
    // replace the loaded records with the meter's when they are finally answered.
    engine().setFlag(Read_RAM2, false);
    engine().setFlag(Read_RAM3, false);
    hold(m_ram2Held);
    hold(m_ram3Held);
    emit ram2Changed();
    emit ram3Changed();
}

void DeviceModel::ram2Loaded()
{
    hold(m_ram2Held);
    emit ram2Changed();
}

bool DeviceModel::calibrateNominal(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    const auto ch = static_cast<std::size_t>(channel);
    set(m_memory.ram3, ram3::ADrms, ch, get(m_caldata, caldata::ADrms, ch));
    engine().setFlag(Write_RAM3, true);
    return true;
}

bool DeviceModel::calibrateOffset(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    const auto ch = static_cast<std::size_t>(channel);
    set(m_memory.ram3, ram3::Offset, ch, get(m_caldata, caldata::Average, ch));
    engine().setFlag(Write_RAM3, true);
    return true;
}

bool DeviceModel::clearOffset(int channel)
{
    if (!m_ram3Held || channel < 0 || channel > 5)
        return false;
    set(m_memory.ram3, ram3::Offset, static_cast<std::size_t>(channel), std::int16_t(0));
    engine().setFlag(Write_RAM3, true);
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
    engine().setFlag(Write_RAM1, true);
    return true;
}

void DeviceModel::writeRam1()
{
    engine().setFlag(Write_RAM1, true);
}

void DeviceModel::writeRam2()
{
    engine().setFlag(Write_RAM2, true);
}

void DeviceModel::writeRam3()
{
    engine().setFlag(Write_RAM3, true);
}

void DeviceModel::setDigout(std::uint8_t byte)
{
    engine().state().DigoutByte = byte;
    engine().setFlag(Write_Digout, true);
}

void DeviceModel::setDaCalCode(std::uint8_t code)
{
    engine().state().DAcalCode = code;
    engine().setFlag(Write_DAcalib, true);
}

void DeviceModel::setDaTest(float value)
{
    m_daTest = value;
    engine().setFlag(Write_DAtest, true);
}

std::uint8_t DeviceModel::digoutByte() const
{
    return m_engine ? m_engine->state().DigoutByte : 0;
}

std::uint8_t DeviceModel::daCalCode() const
{
    return m_engine ? m_engine->state().DAcalCode : 0;
}

void DeviceModel::Display_State(const std::uint8_t* payload)
{
    m_state.copyFrom(payload);
    emit stateChanged(m_state);
}

void DeviceModel::Display_Net(const std::uint8_t* payload)
{
    m_net.copyFrom(payload);
    emit netChanged(m_net);
}

void DeviceModel::Display_RAM1(const std::uint8_t* payload)
{
    // While the energy clear's write waits for its slot the image holds the zeros it will send:
    // the counters read meanwhile are shown but do not undo the clear.
    if (m_engine && m_engine->flag(Write_RAM1)) {
        Ram1Image read;
        read.copyFrom(payload);
        emit ram1Changed(read);
        return;
    }
    m_memory.ram1.copyFrom(payload);
    hold(m_ram1Held);
    emit ram1Changed(m_memory.ram1);
}

void DeviceModel::Display_RAM2()
{
    hold(m_ram2Held);
    emit ram2Changed();
}

void DeviceModel::Display_RAM3(const std::uint8_t* payload)
{
    m_memory.ram3.copyFrom(payload);
    hold(m_ram3Held);
    emit ram3Changed();
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
    if (!versionSupported(m_version))
        emit unsupportedDevice(unsupportedVersionMessage(m_version));
}

void DeviceModel::Display_Harmonics(const std::uint8_t* payload)
{
    m_harmonics.copyFrom(payload);
    emit harmonicsChanged(m_harmonics);
}

} // namespace kvam
