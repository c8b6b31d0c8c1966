#include "Commands.h"

namespace kvam {

const char* commandName(int code)
{
    static const char* const names[] = {"",           "Read_State",   "Write_State",   "Read_Net",
                                        "Read_RAM1",  "Write_RAM1",   "Read_RAM2",     "Write_RAM2",
                                        "Read_RAM3",  "Write_RAM3",   "Read_Caldata",  "Write_Digout",
                                        "Write_DAcalib", "Write_DAtest", "Read_EPdata", "Read_Version",
                                        "Read_Harmonics"};
    return (code >= 1 && code <= kCommandCount) ? names[code] : "";
}

} // namespace kvam
