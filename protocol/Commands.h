#pragma once

#include "records/RecordDiff.h"

#include <cstdint>
#include <optional>
#include <span>

namespace kvam {

/// The sixteen commands; the code is also the scheduler slot.
enum Command : std::uint8_t
{
    Read_State = 1,
    Write_State = 2,
    Read_Net = 3,
    Read_RAM1 = 4,
    Write_RAM1 = 5,
    Read_RAM2 = 6,
    Write_RAM2 = 7,
    Read_RAM3 = 8,
    Write_RAM3 = 9,
    Read_Caldata = 10,
    Write_Digout = 11,
    Write_DAcalib = 12,
    Write_DAtest = 13,
    Read_EPdata = 14,
    Read_Version = 15,
    Read_Harmonics = 16,
};

constexpr int kCommandCount = 16;

/// What a request carries behind its header.
enum class RequestKind
{
    None,   ///< nothing: the plain reads
    Byte,   ///< one byte: a service code, an output byte, a calibration code, a channel, or 0
    Float,  ///< an IEEE-754 single, little-endian
    Record, ///< a whole memory image (RAM1, RAM2 or RAM3)
};

/// One row of the command table.
struct CommandInfo
{
    Command code;
    const char* name;     ///< as its request flag is called: "Read_State" ...
    RequestKind request;  ///< what the request's payload is
    int requestSize;      ///< the request's payload bytes
    int answerRecordSize; ///< payload bytes of the record its answer carries; 0 when it carries none
    int readBack;         ///< the read flagged once this write is acknowledged; 0 for none
    /// The memory record the command reads (its answer) or writes (its request); none for the others.
    std::optional<MemoryRecord> memory = std::nullopt;
};

/// Every command, in code order: row k - 1 is command k.
std::span<const CommandInfo> commandTable();

/// The row of command `code`; nullptr outside 1..16.
const CommandInfo* commandInfo(int code);

/// The command's name, as its request flag is called ("Read_State" ...); "" outside 1..16.
const char* commandName(int code);

/// Payload bytes of the record an answer with this code carries (Read_State 16 ... Read_RAM2 314);
/// 0 for the codes whose answer carries none: the write acknowledgements, which count whatever
/// their payload, 0, Write_State and unknown codes. A shorter answer is not decoded.
int answerRecordSize(int code);

/// Payload bytes of the request with this code; -1 for a code outside 1..16.
int requestPayloadSize(int code);

/// The memory record command `code` reads or writes; none for the other commands and codes.
std::optional<MemoryRecord> memoryRecordOf(int code);
/// The command that reads `record` (Read_RAM1 ...).
Command readCommandOf(MemoryRecord record);
/// The command that writes `record` (Write_RAM1 ...).
Command writeCommandOf(MemoryRecord record);
/// Whether `code` is the write of a memory record.
bool writesMemoryRecord(int code);

} // namespace kvam
