#pragma once

#include "link/PagePolls.h"

#include <array>

namespace kvam {

/// Who may see a page's tab.
enum class Access
{
    Everyone,    ///< visible from start-up
    UserOrAbove, ///< opened by the user password or the factory code
    Factory,     ///< opened by the factory code only (service mode)
};

/// One page of the main window: its control name (its caption is in the text table), what it
/// polls while it is the active page, and who may open it.
struct MainPage
{
    const char* objectName;
    PagePolls polls;
    Access access;
};

inline constexpr int kMainPageCount = 8;

/// The pages in tab order.
const std::array<MainPage, kMainPageCount>& mainPages();

/// The page with that control name, or nullptr.
const MainPage* findMainPage(const char* objectName);

} // namespace kvam
