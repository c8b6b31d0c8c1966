#include "protocol/Commands.h"

#include "records/Records.h"

#include <array>

namespace kvam {

namespace {

constexpr int sizeOf(std::size_t recordSize)
{
    return static_cast<int>(recordSize);
}

using K = RequestKind;
using M = MemoryRecord;

constexpr std::array<CommandInfo, kCommandCount> kTable = {{
    // Write_State's answer carries no record the tool reads; the writes answer with an
    // acknowledgement whatever its payload.
    {Read_State, "Read_State", K::Byte, 1, sizeOf(state::kSize), 0},
    {Write_State, "Write_State", K::Byte, 1, 0, 0},
    {Read_Net, "Read_Net", K::None, 0, sizeOf(net::kSize), 0},
    {Read_RAM1, "Read_RAM1", K::None, 0, sizeOf(ram1::kSize), 0, M::Ram1},
    {Write_RAM1, "Write_RAM1", K::Record, sizeOf(ram1::kSize), 0, 0, M::Ram1},
    {Read_RAM2, "Read_RAM2", K::None, 0, sizeOf(ram2::kSize), 0, M::Ram2},
    {Write_RAM2, "Write_RAM2", K::Record, sizeOf(ram2::kSize), 0, Read_RAM2, M::Ram2},
    {Read_RAM3, "Read_RAM3", K::None, 0, sizeOf(ram3::kSize), 0, M::Ram3},
    {Write_RAM3, "Write_RAM3", K::Record, sizeOf(ram3::kSize), 0, Read_RAM3, M::Ram3},
    {Read_Caldata, "Read_Caldata", K::None, 0, sizeOf(caldata::kSize), 0},
    {Write_Digout, "Write_Digout", K::Byte, 1, 0, 0},
    {Write_DAcalib, "Write_DAcalib", K::Byte, 1, 0, 0},
    {Write_DAtest, "Write_DAtest", K::Float, 4, 0, 0},
    {Read_EPdata, "Read_EPdata", K::Byte, 1, sizeOf(ep::kSize), 0},
    {Read_Version, "Read_Version", K::None, 0, sizeOf(version::kSize), 0},
    {Read_Harmonics, "Read_Harmonics", K::Byte, 1, sizeOf(harmonics::kSize), 0},
}};

constexpr bool tableInCodeOrder()
{
    for (std::size_t k = 0; k < kTable.size(); ++k)
        if (kTable[k].code != static_cast<int>(k + 1))
            return false;
    return true;
}
static_assert(tableInCodeOrder(), "row k - 1 must be command k");

constexpr bool requestSizesFitTheirKinds()
{
    for (const CommandInfo& c : kTable) {
        const int expected = c.request == K::None    ? 0
                             : c.request == K::Byte  ? 1
                             : c.request == K::Float ? 4
                                                     : -1;
        if (expected >= 0 ? c.requestSize != expected : c.requestSize <= 1)
            return false;
    }
    return true;
}
static_assert(requestSizesFitTheirKinds());

// Each memory record has one read, whose answer carries it, and one write, whose request does.
constexpr bool memoryCommandsCarryTheirRecord()
{
    for (const MemoryRecord m : {M::Ram1, M::Ram2, M::Ram3}) {
        int reads = 0;
        int writes = 0;
        for (const CommandInfo& c : kTable) {
            if (c.memory != m)
                continue;
            const bool write = c.request == K::Record;
            (write ? writes : reads) += 1;
            if ((write ? c.requestSize : c.answerRecordSize) <= 1)
                return false;
        }
        if (reads != 1 || writes != 1)
            return false;
    }
    return true;
}
static_assert(memoryCommandsCarryTheirRecord());

Command memoryCommand(MemoryRecord record, bool write)
{
    for (const CommandInfo& c : kTable)
        if (c.memory == record && (c.request == K::Record) == write)
            return c.code;
    return Read_RAM2; // not reached: every record has its read and its write (checked above)
}

} // namespace

std::span<const CommandInfo> commandTable()
{
    return kTable;
}

const CommandInfo* commandInfo(int code)
{
    return (code >= 1 && code <= kCommandCount) ? &kTable[static_cast<std::size_t>(code - 1)] : nullptr;
}

const char* commandName(int code)
{
    const CommandInfo* c = commandInfo(code);
    return c ? c->name : "";
}

int answerRecordSize(int code)
{
    const CommandInfo* c = commandInfo(code);
    return c ? c->answerRecordSize : 0;
}

int requestPayloadSize(int code)
{
    const CommandInfo* c = commandInfo(code);
    return c ? c->requestSize : -1;
}

std::optional<MemoryRecord> memoryRecordOf(int code)
{
    const CommandInfo* c = commandInfo(code);
    return c ? c->memory : std::nullopt;
}

Command readCommandOf(MemoryRecord record)
{
    return memoryCommand(record, false);
}

Command writeCommandOf(MemoryRecord record)
{
    return memoryCommand(record, true);
}

bool writesMemoryRecord(int code)
{
    const CommandInfo* c = commandInfo(code);
    return c && c->memory && c->request == K::Record;
}

} // namespace kvam
