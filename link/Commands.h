#pragma once

#include <cstdint>

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

/// The command's name, as its request flag is called ("Read_State" ...); "" outside 1..16.
const char* commandName(int code);

/// Record sizes carried by the protocol.
constexpr int kRam1Size = 212;
constexpr int kRam2Size = 314;
constexpr int kRam3Size = 154;

/// Payload bytes of the record an answer with this code carries (Read_State 16 ... Read_RAM2 314);
/// 0 for the codes whose answer carries none: the write acknowledgements, which count whatever
/// their payload, 0, Write_State and unknown codes. A shorter answer is not decoded.
int answerRecordSize(int code);

/// Frame buffers hold indices 0..512.
constexpr int kBufferSize = 513;

} // namespace kvam
