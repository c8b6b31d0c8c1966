#include "app/MainPages.h"

#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "protocol/Commands.h"
#include "service/CalibPage.h"
#include "service/CommPage.h"
#include "views/ErrorsPage.h"
#include "views/HarmonicsPage.h"
#include "views/MeasurementPage.h"
#include "views/PhasorPage.h"
#include "views/TrendPage.h"

#include <cstring>

namespace kvam {

namespace {

/// A page that needs only the device model.
template <typename Page> QWidget* modelPage(PageContext& c, QWidget* parent)
{
    auto* page = new Page(parent);
    page->attach(c.model);
    return page;
}

QWidget* configPage(PageContext& c, QWidget* parent)
{
    auto* page = new ConfigPage(parent);
    page->attach(c.model, c.files, c.prompts);
    return page;
}

QWidget* factoryPage(PageContext& c, QWidget* parent)
{
    auto* page = new FactoryPage(parent);
    page->attach(c.model, c.files);
    return page;
}

QWidget* trendPage(PageContext& c, QWidget* parent)
{
    auto* page = new TrendPage(parent);
    page->attach(c.model, c.prompts);
    return page;
}

QWidget* commPage(PageContext& c, QWidget* parent)
{
    auto* page = new CommPage(parent);
    page->attach(c.link, c.logger, c.prompts);
    return page;
}

/// Leaving the calibration page ends the analog output sequence.
void leaveCalib(QWidget* page)
{
    static_cast<CalibPage*>(page)->TabSheet_CalibExit();
}

} // namespace

const std::array<MainPage, kMainPageCount>& mainPages()
{
    // The communication page keeps whatever the page before it polled; the factory-settings page
    // takes one state answer after a service request and then reads both configuration records.
    static const std::array<MainPage, kMainPageCount> kPages{{
        {"TabSheet_Calib", PagePolls{Read_Caldata}, Access::Factory, modelPage<CalibPage>, leaveCalib},
        {"TabSheet_FactorySettings", PagePolls{}.rereadingConfigOnState(), Access::Factory, factoryPage,
         nullptr},
        {"TabSheet_Config", PagePolls{}, Access::UserOrAbove, configPage, nullptr},
        {"TabSheet_Meres", kMeasurementPolls, Access::Everyone, modelPage<MeasurementPage>, nullptr},
        {"TabSheet_Harmonics", PagePolls{Read_Harmonics}, Access::Everyone, modelPage<HarmonicsPage>,
         nullptr},
        {"TabSheet_Phasor", PagePolls{Read_Net}, Access::Everyone, modelPage<PhasorPage>, nullptr},
        {"TabSheet_Trend", kMeasurementPolls, Access::Everyone, trendPage, nullptr},
        {"TabSheet_Errors", PagePolls{Read_State}, Access::Everyone, modelPage<ErrorsPage>, nullptr},
        {"TabSheet_Comm", PagePolls::keepingPrevious(), Access::Everyone, commPage, nullptr},
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
