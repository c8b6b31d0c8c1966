#pragma once

#include "link/DeviceMemory.h"
#include "link/LinkEngine.h"
#include "records/Records.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

namespace kvam {

/// The meter as the program knows it: the last answer records and the three memory images. It is
/// the link's client (the display routines of the dispatcher land here) and tells the pages about
/// every new record by a typed signal. User actions reach the meter only through its intent
/// methods, which store the request value and flag the command for the scheduler; nothing is sent
/// directly.
class DeviceModel : public QObject, public LinkClient
{
    Q_OBJECT
public:
    explicit DeviceModel(QObject* parent = nullptr);

    /// The window's start-up state of the link.
    void startUp() { engine().startUp(); }

    /// The engine that carries the intents; set once, before the first intent.
    void attach(LinkEngine& engine) { m_engine = &engine; }

    DeviceMemory& memory() { return m_memory; }
    const DeviceMemory& memory() const { return m_memory; }
    const NetRecord& net() const { return m_net; }
    const StateRecord& state() const { return m_state; }
    const VersionRecord& version() const { return m_version; }
    const EpRecord& ep() const { return m_ep; }
    const CaldataRecord& caldata() const { return m_caldata; }
    const HarmonicsRecord& harmonics() const { return m_harmonics; }

    /// Whether an image holds a record read from the meter or loaded from a file. Until it does,
    /// the image is zeros, and writing it would overwrite the meter's record with them.
    bool ram1Held() const { return m_ram1Held; }
    bool ram2Held() const { return m_ram2Held; }
    bool ram3Held() const { return m_ram3Held; }
    /// Both configuration records are held: the write buttons may pack and write them.
    bool configWritable() const { return m_ram2Held && m_ram3Held; }

    // Intents.
    /// Reads both configuration records again (the read buttons); the meter's records replace
    /// whatever a settings file loaded.
    void readRam();
    /// Writes both configuration images as they are now. Refused (false, nothing flagged) while
    /// an image holds no record.
    bool writeConfig();
    /// A settings section was loaded into both images: they hold records, and neither reads still
    /// pending nor page changes and state answers read the meter's over them.
    void settingsLoaded();
    /// A record file was loaded into the RAM2 image.
    void ram2Loaded();
    /// The calibration buttons: store the selected channel's nominal AD rms (setNominal) or AD
    /// average (setOffset) of the last calibration data, or 0 (clearOffset), in the RAM3 image and
    /// write it. Refused (false) while the image holds no record: the write would carry zeros
    /// over the meter's calibration constants.
    bool calibrateNominal(int channel);
    bool calibrateOffset(int channel);
    bool clearOffset(int channel);
    /// Where the analog test value is read when its request goes out (the edit of the page).
    void setDaTestSource(std::function<float()> source) { m_daTestSource = std::move(source); }
    /// Sends the analog test value (read from the source when the request goes out).
    void requestDaTest();
    /// Zeroes the energy counters of the RAM1 image (payload bytes 2 to 177) and writes it.
    /// Refused (false) until a RAM1 record was read from the meter.
    bool clearEnergy();
    /// A service code (1 factory defaults, 2 clear errors, 4 user defaults) rides on the next state
    /// request.
    void requestService(std::uint8_t code);
    void writeRam1();
    void writeRam2();
    void writeRam3();
    /// The output test byte (bit 0 output 1, bit 1 output 2).
    void setDigout(std::uint8_t byte);
    /// One step of the analog output calibration.
    void setDaCalCode(std::uint8_t code);
    /// A test value for the analog output; the value held when the request goes out is sent.
    void setDaTest(float value);
    /// The harmonics channel the next harmonics request asks for (0..5).
    void setHarmonicsChannel(int code) { m_harmChannel = static_cast<std::uint8_t>(code); }

    std::uint8_t digoutByte() const;
    std::uint8_t daCalCode() const;
    float daTestValue() const { return antestValue(); }

signals:
    void stateChanged(const kvam::StateRecord& rec);
    void netChanged(const kvam::NetRecord& rec);
    /// A RAM1 record arrived; `counters` is what it holds (the image, unless a write of the image
    /// is pending).
    void ram1Changed(const kvam::Ram1Image& counters);
    void ram2Changed();
    void ram3Changed();
    void caldataChanged(const kvam::CaldataRecord& rec);
    void epChanged(const kvam::EpRecord& rec);
    void versionChanged(const kvam::VersionRecord& rec);
    void harmonicsChanged(const kvam::HarmonicsRecord& rec);
    /// ram1Held(), ram2Held() or ram3Held() changed.
    void recordsHeldChanged();
    /// The meter's firmware is not one this program works with; polling must stop at once and the
    /// user be told `message`.
    void unsupportedDevice(const QString& message);

private:
    // LinkClient
    void Display_State(const std::uint8_t* payload) override;
    void Display_Net(const std::uint8_t* payload) override;
    void Display_RAM1(const std::uint8_t* payload) override;
    void Display_RAM2() override;
    void Display_RAM3(const std::uint8_t* payload) override;
    void Display_Caldat(const std::uint8_t* payload) override;
    void Display_EPdata(const std::uint8_t* payload) override;
    void Display_Version(const std::uint8_t* payload) override;
    void Display_Harmonics(const std::uint8_t* payload) override;
    std::uint8_t GetHarmChannel() const override { return m_harmChannel; }
    float antestValue() const override { return m_daTestSource ? m_daTestSource() : m_daTest; }

    LinkEngine& engine();

    LinkEngine* m_engine = nullptr;
    DeviceMemory m_memory;
    NetRecord m_net;
    StateRecord m_state;
    VersionRecord m_version;
    EpRecord m_ep;
    CaldataRecord m_caldata;
    HarmonicsRecord m_harmonics;
    void hold(bool& held);

    bool m_ram1Held = false;
    bool m_ram2Held = false;
    bool m_ram3Held = false;
    std::uint8_t m_harmChannel = 0;
    float m_daTest = 0.0f;
    std::function<float()> m_daTestSource;
};

} // namespace kvam
