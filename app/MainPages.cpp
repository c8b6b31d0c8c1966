#include "app/MainPages.h"

#include "protocol/Commands.h"

#include <cstring>

namespace kvam {

const std::array<MainPage, kMainPageCount>& mainPages()
{
    // The communication page keeps whatever the page before it polled; the factory-settings page
    // takes one state answer after a service request and then reads both configuration records.
    static constexpr std::array<MainPage, kMainPageCount> kPages{{
        {"TabSheet_Calib", PagePolls{Read_Caldata}, Access::Factory},
        {"TabSheet_FactorySettings", PagePolls{}.rereadingConfigOnState(), Access::Factory},
        {"TabSheet_Config", PagePolls{}, Access::UserOrAbove},
        {"TabSheet_Meres", PagePolls{Read_State, Read_Net, Read_RAM1, Read_EPdata, Read_Version},
         Access::Everyone},
        {"TabSheet_Harmonics", PagePolls{Read_Harmonics}, Access::Everyone},
        {"TabSheet_Phasor", PagePolls{Read_Net}, Access::Everyone},
        {"TabSheet_Errors", PagePolls{Read_State}, Access::Everyone},
        {"TabSheet_Comm", PagePolls::keepingPrevious(), Access::Everyone},
    }};
    return kPages;
}

const MainPage* findMainPage(const char* objectName)
{
    for (const MainPage& p : mainPages())
        if (std::strcmp(p.objectName, objectName) == 0)
            return &p;
    return nullptr;
}

} // namespace kvam
