#pragma once

#include "cli/WriteJobs.h"

#include <cstdint>

namespace kvam::cli {

/// service: a service command sent, and what the meter reports afterwards. clear-energy is a write
/// of the energy counters, reviewed and verified as a write is.
class ServiceJob : public WritingJob
{
public:
    using WritingJob::WritingJob;

private:
    QString what() const override;
    void started() override;
    bool submit() override;
    void step() override;
    std::uint8_t code() const;
    void reportErrors();
    void reportRecords(const MeterRecords& after);

    enum class Phase
    {
        Idle,
        Asked,
        CodeSent,
        Answered,
        Reading
    };
    Phase m_phase = Phase::Idle;
    MeterRecords m_before;
    bool m_ram2After = false;
    bool m_ram3After = false;
};

} // namespace kvam::cli
