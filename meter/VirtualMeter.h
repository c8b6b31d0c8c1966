#pragma once

#include "meter/FaultProfile.h"
#include "meter/FieldClamp.h"
#include "meter/FirmwareVersion.h"
#include "meter/MeterAnswer.h"
#include "meter/NetworkModel.h"
#include "platform/ByteImage.h"
#include "protocol/Commands.h"
#include "records/Records.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace kvam {

/// How a virtual meter is built.
struct VirtualMeterConfig
{
    FirmwareVersion version;
    QByteArray firmwareDate = "2023.05.17"; ///< at most 12 characters, zero-padded in the record
    std::uint32_t factoryNumber = 21001234;
    std::uint8_t factoryYear = 21;
    std::uint8_t factoryMonth = 6;
    FaultProfile faults;
    std::uint32_t seed = 2100; ///< seeds the fault dice
    /// RAM2 as found in an installation (installedRam2) rather than as it leaves the factory.
    bool installed = false;
    /// Fields the meter caps when a write stores them (applied in order).
    std::vector<FieldClamp> clamps;
    /// 1..3: that phase's current transformer is connected the wrong way round, so its current,
    /// power and energy are measured reversed; 0: all connected right.
    int reversedCt = 0;
};

/// Counters of what the meter's receiver has seen.
struct MeterStats
{
    int requests = 0;       ///< well-formed requests (good CRC), answered or not
    int badCrc = 0;         ///< frames with a plausible header whose CRC was wrong
    int discardedBytes = 0; ///< bytes skipped while looking for a frame start
    int dropped = 0;        ///< answers swallowed by the drop fault
    int corrupted = 0;      ///< answers sent with a broken CRC
    int late = 0;           ///< answers held back past the answer time-out
    int lateWrites = 0;     ///< of them, acknowledgements of RAM1, RAM2 and RAM3 writes
    int split = 0;          ///< answers delivered over several reads
    int garbage = 0;        ///< answers with stray bytes in front of them
    int clamped = 0;        ///< memory writes stored with a clamped element
    /// Well-formed requests by command code.
    std::array<int, 256> byCode{};
};

/// The KVAM2100 on the far end of the line: takes request bytes, answers them with frames whose
/// payloads follow the meter's record layouts, and keeps its memory, counters and flags between
/// requests. No timers and no I/O of its own: time comes from the injected clock, and the answers
/// are handed back to whoever carries them (the in-process port or the pseudo-terminal server).
class VirtualMeter
{
public:
    /// Seconds on any monotonic scale; only differences matter, plus the phase of the demand period.
    using Clock = std::function<double()>;

    using Ram1Image = kvam::Ram1Image;
    using Ram2Image = kvam::Ram2Image;
    using Ram3Image = kvam::Ram3Image;

    /// Hold-back of a late answer: beyond the tool's 300 ms answer time-out.
    static constexpr int kLateAnswerMs = 400;
    /// Length of a demand period in seconds.
    static constexpr double kDemandPeriodS = 900.0;

    /// Without a clock the meter uses the steady clock, counted from construction.
    explicit VirtualMeter(VirtualMeterConfig config = {}, Clock clock = {});

    /// Takes bytes from the line in any split. Returns the answers to the requests completed by
    /// them, in order. Bytes that cannot start a request are skipped; a request with a bad CRC,
    /// and one swallowed by the drop fault, gets no answer.
    std::vector<MeterAnswer> receive(const QByteArray& bytes);
    /// Forgets a partly received request (the line has been silent too long for it to continue).
    void resetReceiver();
    /// Bytes of a request still being assembled.
    qsizetype pendingBytes() const { return m_rx.size(); }

    void setFaults(const FaultProfile& faults) { m_config.faults = faults; }
    /// Told of every well-formed request once the meter has carried it out (a write's record is
    /// already stored, clamped or not), whether or not its answer is then lost: what reached this
    /// meter, for tests that watch several.
    using RequestWatcher = std::function<void(std::uint8_t code, std::span<const std::uint8_t> payload)>;
    void setRequestWatcher(RequestWatcher watcher) { m_watcher = std::move(watcher); }
    const VirtualMeterConfig& config() const { return m_config; }
    const MeterStats& stats() const { return m_stats; }

    /// Memory as of the last request.
    const Ram1Image& ram1() const { return m_ram1; }
    const Ram2Image& ram2() const { return m_ram2; }
    const Ram3Image& ram3() const { return m_ram3; }

    /// Output test bits of the last Write_Digout (bit 0 output 1, bit 1 output 2).
    std::uint8_t digoutByte() const { return m_digout; }
    /// Code of the last Write_DAcalib, if any came.
    std::optional<std::uint8_t> daCalibCode() const { return m_daCalib; }
    /// Value of the last Write_DAtest, if any came.
    std::optional<float> daTestValue() const { return m_daTest; }
    /// Byte of the last Write_State, if any came.
    std::optional<std::uint8_t> writeStateByte() const { return m_writeState; }

    /// The factory contents of RAM2 (also what "user defaults" restores).
    static Ram2Image factoryRam2();
    /// The configuration of the meter as it is found in an installation: both digital outputs,
    /// both analog outputs and demand limiting in use.
    static Ram2Image installedRam2();
    /// The factory contents of RAM3 for the given identity.
    static Ram3Image factoryRam3(std::uint32_t factoryNumber, std::uint8_t year, std::uint8_t month);

private:
    /// The network as the meter's inputs see it at `t`, through its wiring.
    NetworkSnapshot sensed(double t) const;
    std::optional<MeterAnswer> handleRequest(std::uint8_t code, const std::uint8_t* payload);
    QByteArray buildPayload(std::uint8_t code, const std::uint8_t* payload, double now);
    MeterAnswer applyFaults(std::uint8_t code, QByteArray frame);
    bool roll(double probability);

    void advanceTo(double t);
    std::uint32_t errorsAt(const NetworkSnapshot& s) const;
    std::array<double, 6> ratios() const;
    double demandSoFarW() const;
    double demandEstimateW(double now) const;
    std::uint32_t contractedDemand() const;

    QByteArray stateRecord(double now);
    QByteArray netRecord(double now) const;
    QByteArray caldataRecord(double now) const;
    QByteArray epRecord(double now) const;
    QByteArray versionRecord() const;
    QByteArray harmonicsRecord(double now, std::uint8_t channel) const;

    /// Stores a memory write's record through the clamps.
    template <std::size_t N>
    void store(MemoryRecord record, ByteImage<N>& image, const std::uint8_t* payload);

    VirtualMeterConfig m_config;
    Clock m_clock;
    RequestWatcher m_watcher;
    std::mt19937 m_rng;
    QByteArray m_rx;
    MeterStats m_stats;

    Ram1Image m_ram1;
    Ram2Image m_ram2;
    Ram3Image m_ram3;
    // Sub-unit remainders of the sixteen energy counters (EP+, EP-, EQ+, EQ-; L1, L2, L3, sum).
    std::array<std::array<double, 4>, 4> m_energyRest{};

    bool m_started = false;
    double m_lastT = 0.0;
    std::int64_t m_periodIndex = 0;
    double m_periodEnergyWh = 0.0;
    double m_previousDemandW = 2350.0;
    std::uint32_t m_staticErrors = 0;

    std::uint8_t m_digout = 0;
    std::optional<std::uint8_t> m_daCalib;
    std::optional<float> m_daTest;
    std::optional<std::uint8_t> m_writeState;
};

} // namespace kvam
