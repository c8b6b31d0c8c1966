#pragma once

#include "meter/MeterAnswer.h"
#include "meter/ParseResult.h"
#include "records/Records.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace kvam {

/// One misdeed of a broken meter, done in reply to one request.
struct HostileStep
{
    enum class Kind
    {
        Header,  ///< len=N: only a header with length field N, then silence
        Frame,   ///< frame=N: a header with length field N and the N + 1 bytes it announces
        Code,    ///< code=C: the right record under command code C
        Floats,  ///< float=V: a measurement record with V in every float
        Date,    ///< date=HEX: a version record whose date field holds these bytes
        Garbage, ///< version=garbage: a version record of major 3, random everywhere else
        Noise,   ///< noise=N: N random bytes as fast as the line takes them, no answer
        Half,    ///< half: the first half of the right answer, then the meter dies
        Die,     ///< die: the meter dies on the request, unanswered
        Silence, ///< silence: no answer at all
        Good,    ///< good: the right answer
    };

    Kind kind = Kind::Good;
    /// The request code this step waits for (1..16); 0 takes the next request of any code. Requests
    /// of other codes meanwhile get their right answers.
    int trigger = 0;
    /// Header, Frame: the length field, either absolute or relative to the record: the length field
    /// of a right answer (record + 2) plus `lengthDelta`.
    int length = 0;
    bool relativeLength = false;
    int lengthDelta = 0;
    int code = 0;             ///< Code
    float value = 0.0f;       ///< Floats
    QByteArray date;          ///< Date: at most 12 bytes, zero-padded
    qsizetype noiseBytes = 0; ///< Noise
};

/// Parses a comma-separated list of steps, each optionally prefixed by "CODE:" (the request it
/// waits for), e.g. "len=0,frame=rec-1,code=17,float=nan,noise=1048576,7:die". Lengths are 0..65535
/// or "rec", "rec-K", "rec+K"; codes 0..255; float values anything strtod reads (nan, inf, -inf,
/// 1e38); dates hex digits of at most 12 bytes; noise sizes 1..67108864.
ParseResult<std::vector<HostileStep>> parseHostileScript(const QString& text);

/// What the meter sends instead of its right answer.
struct HostileAnswer
{
    MeterAnswer answer;        ///< bytes paced like any answer (empty: nothing)
    qsizetype noiseBytes = 0;  ///< random bytes streamed unpaced behind them
    bool dieAfterSent = false; ///< the meter's process ends once `answer` has gone out
};

/// Works through a hostile script one request at a time. Plain C++ with QtCore: no I/O, no timers.
class HostileMeter
{
public:
    /// `version` is the meter's own version record, the base of the date steps.
    HostileMeter(std::vector<HostileStep> steps, const VersionRecord& version, std::uint32_t seed = 2100);

    /// The reply to a request whose right answer is `right` (its code is the request's). Nothing
    /// when the right answer stands: the script is spent, or its next step waits for another code.
    std::optional<HostileAnswer> replace(const MeterAnswer& right);

    bool done() const { return m_next >= m_steps.size(); }
    std::size_t stepsDone() const { return m_next; }

    /// `count` random bytes from the script's dice.
    QByteArray noise(qsizetype count);

private:
    QByteArray build(const HostileStep& step, const MeterAnswer& right);

    std::vector<HostileStep> m_steps;
    std::size_t m_next = 0;
    VersionRecord m_version;
    std::mt19937 m_rng;
};

} // namespace kvam
