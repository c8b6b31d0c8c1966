#pragma once

#include "device/DeviceMemory.h"
#include "device/WriteHistory.h"
#include "device/WriteSession.h"
#include "link/LinkEngine.h"
#include "records/RecordDiff.h"
#include "records/Records.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kvam {

/// The values the scheduler sends with its requests, and whether the configuration came from a
/// settings file, under the names the protocol documentation uses.
struct RequestValues
{
    std::uint8_t ServiceCode = 0; ///< rides on the next Read_State; 0 once it went out
    std::uint8_t DigoutByte = 0;  ///< Write_Digout: bit 0 output 1, bit 1 output 2
    std::uint8_t DAcalCode = 0;   ///< Write_DAcalib: the analog output calibration step
    std::uint8_t HarmChannel = 0; ///< the channel of the last Read_Harmonics sent
    /// The configuration images came from a settings file: neither page changes nor state answers
    /// read the meter's records over them.
    bool SettingsLoaded = false;
};

/// The meter as the program knows it: the last answer records, the three memory images and the
/// request values. It is the link's client: it fills each request's payload when the request goes
/// out and takes each good answer, telling the pages by a typed signal that carries the record.
/// The images change only through the intents below; everyone else reads them. User actions reach
/// the meter only through the intents, which store a value and flag the command for the scheduler;
/// nothing is sent directly. Every write of a memory record goes through its write session.
class DeviceModel : public QObject, public LinkClient, private WriteSession::Line
{
    Q_OBJECT
public:
    explicit DeviceModel(QObject* parent = nullptr);

    /// The engine that carries the intents; set once, before the first intent.
    void attach(LinkEngine& engine) { m_engine = &engine; }
    /// The write session: its reviewer, history and user name are set there.
    WriteSession& writes() { return m_session; }
    const WriteSession& writes() const { return m_session; }
    using Reviewer = WriteSession::Reviewer;
    void setReviewer(Reviewer reviewer) { m_session.setReviewer(std::move(reviewer)); }
    void setHistory(WriteHistory* history) { m_session.setHistory(history); }
    void setUserName(const QString& user) { m_session.setUserName(user); }

    /// The window's start-up: no settings loaded, the first reads of both configuration records
    /// and of the version flagged.
    void startUp();

    const DeviceMemory& memory() const { return m_memory; }
    const NetRecord& net() const { return m_net; }
    const StateRecord& state() const { return m_state; }
    const VersionRecord& version() const { return m_version; }
    const EpRecord& ep() const { return m_ep; }
    const CaldataRecord& caldata() const { return m_caldata; }
    const HarmonicsRecord& harmonics() const { return m_harmonics; }
    const RequestValues& requests() const { return m_requests; }
    std::uint8_t digoutByte() const { return m_requests.DigoutByte; }
    std::uint8_t daCalCode() const { return m_requests.DAcalCode; }

    /// A measurement record has arrived: the log has values to write.
    bool netHeld() const { return m_netHeld; }
    /// A version, demand or RAM1 record has arrived (the measurement page shows "-" until it does).
    bool versionHeld() const { return m_versionHeld; }
    bool epHeld() const { return m_epHeld; }
    bool countersHeld() const { return m_countersHeld; }
    /// The energy counters of the last RAM1 answer, as ram1Changed carried them: the image, or the
    /// record read while a write of the image is pending.
    const Ram1Image& counters() const { return m_counters; }
    /// Whether an image holds a record read from the meter or loaded from a file. Until it does,
    /// the image is zeros, and writing it would overwrite the meter's record with them.
    bool ram1Held() const { return m_ram1Held; }
    bool ram2Held() const { return m_ram2Held; }
    bool ram3Held() const { return m_ram3Held; }
    /// Both configuration records are held: the write buttons may pack and write them.
    bool configWritable() const { return m_ram2Held && m_ram3Held; }
    /// The factory number of the meter on the line, once its RAM3 was read since the line was
    /// last interrupted (a time-out, a port opened or closed).
    std::optional<std::uint32_t> lineMeter() const { return m_session.lineMeter(); }
    /// The meter the image of `record` belongs to, when known.
    std::optional<std::uint32_t> imageOwner(MemoryRecord record) const
    {
        return m_session.imageOwner(record);
    }
    /// The records of the meter on the line as last read (none before it is identified).
    MeterRecords meterRecords() const { return m_session.meterRecords(); }
    /// Whether a write of `record` was asked for and has not ended yet.
    bool writeOwed(MemoryRecord record) const { return m_session.writeOwed(record); }

    // Intents.
    /// Another page was opened (`CoolPageControl1Change`): the page's polls, and unless a settings
    /// file was loaded, a fresh read of both configuration records.
    void pageChanged(const PagePolls& polls);
    /// Reads both configuration records again (the read buttons); the meter's records replace
    /// whatever a settings file loaded.
    void ReadRamClick();
    /// Packs the editors into both configuration images (packingRam2, packingRam3) and writes
    /// them. Refused (false, nothing packed or flagged) while an image holds no record.
    bool WriteRamClick();
    /// Packs the RAM2 editor into its image without writing it (a record file is saved from it).
    void packRam2();
    /// A settings section was loaded: both images take it, hold records, and neither reads still
    /// pending nor page changes and state answers read the meter's over them.
    void loadSettings(const Ram2Image& ram2, const Ram3Image& ram3);
    /// A record file was loaded into the RAM2 image.
    void loadRecordFile(const Ram2Image& ram2);
    /// The calibration buttons: store the selected channel's nominal AD rms (calibrateNominal) or AD
    /// average (calibrateOffset) of the last calibration data, or 0 (clearOffset), in the RAM3 image
    /// and write it. Refused (false) while the image holds no record: the write would carry zeros
    /// over the meter's calibration constants.
    bool calibrateNominal(int channel);
    bool calibrateOffset(int channel);
    bool clearOffset(int channel);
    /// Where the analog test value is read when its request goes out (the edit of the page).
    void setDaTestSource(std::function<float()> source) { m_daTestSource = std::move(source); }
    /// Sends the analog test value (read from the source when the request goes out).
    void requestDaTest();
    /// Whether the energy counters can be cleared now: a RAM1 record was read from the meter on
    /// the line since it was last identified.
    bool energyClearable() const;
    /// Zeroes the energy counters (payload bytes 2 to 177) of the RAM1 record of the meter on the
    /// line and writes it. Refused (false) unless energyClearable().
    bool clearEnergy();
    /// Writes the records of a backup, through the review; `records.Gyartasiszam` is the meter
    /// it was taken from.
    bool restore(const MeterRecords& records);
    /// Writes a composed settings section, through the review (the command-line tool's write of a
    /// section); another meter's RAM3 is written only when the review includes it.
    bool writeSection(const ComposedSection& section);
    /// The program ends: writes that went out and were never acknowledged are journalled so.
    void finish() { m_session.finish(); }
    /// A service code (protocol/ServiceCodes.h) rides on the next state request.
    void requestService(std::uint8_t code);
    /// The output test byte (bit 0 output 1, bit 1 output 2).
    void setDigout(std::uint8_t byte);
    /// One step of the analog output calibration.
    void setDaCalCode(std::uint8_t code);
    /// The harmonics channel the next harmonics request asks for (0..5).
    void setHarmonicsChannel(int code) { m_harmonicsChannel = static_cast<std::uint8_t>(code); }
    /// The editors changed what the configuration will say: the measuring arrangement, or a fitted
    /// module (slot 1 or 2, as an index of the module boxes). The other pages follow.
    void editArrangement(int index) { emit arrangementEdited(index); }
    void editModule(int slot, int index) { emit moduleEdited(slot, index); }

    // LinkClient
    void requestPayload(std::uint8_t code, std::uint8_t* payload, int size) override;
    void requestSent(std::uint8_t code) override;
    void answerReceived(std::uint8_t code, const std::uint8_t* payload) override;
    bool mayRequest(std::uint8_t code) override { return m_session.mayRequest(code); }
    /// Whoever answers next may be another meter: it is known again only by its RAM3.
    void lineInterrupted() override { m_session.lineInterrupted(); }

signals:
    void stateChanged(const kvam::StateRecord& rec);
    void netChanged(const kvam::NetRecord& rec);
    /// A RAM1 record arrived; `counters` is what it holds (the image, unless a write of the image
    /// is pending and the record read is only shown).
    void ram1Changed(const kvam::Ram1Image& counters);
    void ram2Changed(const kvam::Ram2Image& ram2);
    void ram3Changed(const kvam::Ram3Image& ram3);
    void caldataChanged(const kvam::CaldataRecord& rec);
    void epChanged(const kvam::EpRecord& rec);
    void versionChanged(const kvam::VersionRecord& rec);
    void harmonicsChanged(const kvam::HarmonicsRecord& rec);
    /// ram1Held(), ram2Held() or ram3Held() changed.
    void recordsHeldChanged();
    /// The meter's firmware is not one this program works with; polling must stop at once and the
    /// user be told.
    void unsupportedDevice(const kvam::VersionRecord& rec);
    /// The editors pack into these images (connected directly: they are filled before the intent
    /// goes on).
    void packingRam2(kvam::Ram2Image& ram2);
    void packingRam3(kvam::Ram3Image& ram3);
    void arrangementEdited(int index);
    void moduleEdited(int slot, int index);
    /// A write has ended (it is in the journal when a history is set): verified, differing from
    /// what the meter read back, never acknowledged, or dropped because another meter answered.
    void writeFinished(const kvam::JournalEntry& entry);
    /// A write was not sent: its backup or journal could not be written (`reason` the system's).
    void writeRefused(kvam::MemoryRecord record, const QString& reason);
    /// The user asked for both configuration records again (ReadRamClick): the editors will show the
    /// meter's.
    void configReadAsked();
    /// Another meter's factory data and calibration (its RAM3, e.g. of a loaded settings section
    /// a calibration button changed) were not written into the meter on the line, and nothing else
    /// was to be written.
    void foreignFactoryKept(std::uint32_t owner, std::uint32_t meter);
    /// A line for the communication monitor (a write held, dropped, refused, verified).
    void notice(const QString& text);

private:
    // The display routines of the answers.
    void Display_State(const std::uint8_t* payload);
    void Display_Net(const std::uint8_t* payload);
    void Display_RAM1(const std::uint8_t* payload);
    void Display_RAM2(const std::uint8_t* payload);
    void Display_RAM3(const std::uint8_t* payload);
    void Display_Caldat(const std::uint8_t* payload);
    void Display_EPdata(const std::uint8_t* payload);
    void Display_Version(const std::uint8_t* payload);
    void Display_Harmonics(const std::uint8_t* payload);

    LinkEngine& engine();
    /// Whether a read answer of a memory record may replace its image.
    bool readReplacesImage(std::uint8_t read, bool asked) const;
    /// Flags the reads of both configuration records unless a settings file was loaded.
    void rereadConfig();
    void hold(bool& held);
    bool calibrate(CalibrationStep step, int channel);
    void memoryRecordAnswered(MemoryRecord record, const std::uint8_t* payload);
    void writeNoticed(const WriteNotice& notice);

    // WriteSession::Line
    bool flag(std::uint8_t code) const override { return m_engine && m_engine->flag(code); }
    void setFlag(std::uint8_t code, bool on) override
    {
        if (m_engine)
            m_engine->setFlag(code, on);
    }

    /// A service code held back from the state request that went out last.
    bool m_serviceHeld = false;
    int m_serviceHeldFor = 0; ///< state requests it was held from in a row

    friend struct DeviceModelTestAccess; ///< tests set images up byte by byte

    LinkEngine* m_engine = nullptr;
    DeviceMemory m_memory;
    NetRecord m_net;
    StateRecord m_state;
    VersionRecord m_version;
    EpRecord m_ep;
    CaldataRecord m_caldata;
    HarmonicsRecord m_harmonics;
    RequestValues m_requests;

    Ram1Image m_counters;
    bool m_netHeld = false;
    bool m_versionHeld = false;
    bool m_epHeld = false;
    bool m_countersHeld = false;
    bool m_ram1Held = false;
    bool m_ram2Held = false;
    bool m_ram3Held = false;
    bool m_stateAnswerRereadsConfig = false; ///< the active page's rule for state answers
    std::uint8_t m_harmonicsChannel = 0;
    std::function<float()> m_daTestSource;
    WriteSession m_session{m_memory, *this};
};

} // namespace kvam
