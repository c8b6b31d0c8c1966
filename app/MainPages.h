#pragma once

#include "link/PagePolls.h"

#include <array>

class QWidget;

namespace kvam {

class ConfigFiles;
class DataLogger;
class DeviceModel;
class LinkDriver;
struct UserPrompts;

/// Who may see a page's tab.
enum class Access
{
    Everyone,    ///< visible from start-up
    UserOrAbove, ///< opened by the user password or the factory code
    Factory,     ///< opened by the factory code only (service mode)
};

/// What a page may connect itself to.
struct PageContext
{
    DeviceModel& model;
    LinkDriver& link;
    DataLogger& logger;
    ConfigFiles& files;
    UserPrompts& prompts;
};

/// One page of the main window: its control name (its caption is in the text table), what it
/// polls while it is the active page, who may open it, how it is made (the page connects itself
/// to what the context offers), and what leaving it does (nullptr: nothing).
struct MainPage
{
    const char* objectName;
    PagePolls polls;
    Access access;
    QWidget* (*create)(PageContext& context, QWidget* parent);
    void (*leave)(QWidget* page);
};

inline constexpr int kMainPageCount = 9;

/// The pages in tab order.
const std::array<MainPage, kMainPageCount>& mainPages();

/// The page with that control name, or nullptr.
const MainPage* findMainPage(const char* objectName);

} // namespace kvam
