#pragma once

#include "meter/MeterAnswer.h"

#include <QByteArray>

#include <vector>

namespace kvam {

/// One read as the far end receives it, `atMs` after the meter started to answer.
struct TimedChunk
{
    int atMs = 0;
    QByteArray bytes;
};

/// Pause between the end of a request and the start of its answer, as a real meter needs.
constexpr int kTurnaroundMs = 4;
/// Bytes per read when the line is paced: about 8 ms of line time at 19200 baud.
constexpr int kPacedChunkBytes = 16;
/// Extra silence between the pieces of a split answer, so they really come as separate reads.
constexpr int kSplitGapMs = 15;

/// Cuts an answer into timed reads. Paced: in chunks of at most kPacedChunkBytes, each arriving when
/// its last byte has crossed the line at 19200 baud, never across a piece boundary. Unpaced: one
/// read per piece, all at the answer's delay. The chunks' bytes add up to the answer's bytes.
std::vector<TimedChunk> scheduleAnswer(const MeterAnswer& answer, bool pacing);

} // namespace kvam
