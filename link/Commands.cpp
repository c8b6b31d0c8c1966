#include "link/Commands.h"

#include "records/Records.h"

namespace kvam {

const char* commandName(int code)
{
    static const char* const names[] = {"",
                                        "Read_State",
                                        "Write_State",
                                        "Read_Net",
                                        "Read_RAM1",
                                        "Write_RAM1",
                                        "Read_RAM2",
                                        "Write_RAM2",
                                        "Read_RAM3",
                                        "Write_RAM3",
                                        "Read_Caldata",
                                        "Write_Digout",
                                        "Write_DAcalib",
                                        "Write_DAtest",
                                        "Read_EPdata",
                                        "Read_Version",
                                        "Read_Harmonics"};
    return (code >= 1 && code <= kCommandCount) ? names[code] : "";
}

static_assert(ram1::kSize == kRam1Size && ram2::kSize == kRam2Size && ram3::kSize == kRam3Size);

int answerRecordSize(int code)
{
    switch (code) {
    case Read_State:
        return int(state::kSize);
    case Read_Net:
        return int(net::kSize);
    case Read_RAM1:
        return kRam1Size;
    case Read_RAM2:
        return kRam2Size;
    case Read_RAM3:
        return kRam3Size;
    case Read_Caldata:
        return int(caldata::kSize);
    case Read_EPdata:
        return int(ep::kSize);
    case Read_Version:
        return int(version::kSize);
    case Read_Harmonics:
        return int(harmonics::kSize);
    default:
        return 0;
    }
}

} // namespace kvam
