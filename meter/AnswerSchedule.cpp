#include "meter/AnswerSchedule.h"

#include "platform/SerialPort.h"

#include <algorithm>

namespace kvam {

std::vector<TimedChunk> scheduleAnswer(const MeterAnswer& answer, bool pacing)
{
    std::vector<TimedChunk> chunks;
    const qsizetype total = answer.bytes.size();
    if (total == 0)
        return chunks;

    std::vector<qsizetype> pieces;
    qsizetype covered = 0;
    for (int p : answer.pieces) {
        if (p <= 0 || covered >= total)
            continue;
        const qsizetype n = std::min<qsizetype>(p, total - covered);
        pieces.push_back(n);
        covered += n;
    }
    if (covered < total)
        pieces.push_back(total - covered);

    qsizetype offset = 0;
    int gap = 0;
    for (qsizetype piece : pieces) {
        if (!pacing) {
            chunks.push_back({answer.delayMs, answer.bytes.mid(offset, piece)});
            offset += piece;
            continue;
        }
        const qsizetype end = offset + piece;
        while (offset < end) {
            const qsizetype n = std::min<qsizetype>(kPacedChunkBytes, end - offset);
            offset += n;
            chunks.push_back({answer.delayMs + gap + lineTimeMs(offset), answer.bytes.mid(offset - n, n)});
        }
        gap += kSplitGapMs;
    }
    return chunks;
}

} // namespace kvam
