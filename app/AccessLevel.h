#pragma once

#include "app/MainPages.h"

#include <array>
#include <string_view>

namespace kvam {

/// The factory access code: opens every protected page and control (service mode). Compiled in,
/// not changeable.
inline constexpr int kFactoryAccessCode = 52806;

/// The number evaluated by "Kilépés", and by the password window when it closes untouched.
inline constexpr int kNoEntry = -1;

/// A protected control outside the page table (pages carry their access in mainPages()).
struct ProtectedControl
{
    const char* objectName;
    Access access;
};

/// The command controls of the communication page, shown in service mode only.
inline constexpr std::array<ProtectedControl, 3> kProtectedControls = {{
    {"Commandbox", Access::Factory},
    {"Sendbutton", Access::Factory},
    {"Scan", Access::Factory},
}};

/// What one password evaluation opened. A default-constructed level is the locked start-up level.
struct AccessLevel
{
    bool factory = false; ///< the factory access code was entered
    bool user = false;    ///< the factory access code or the user password was entered

    /// Whether an element needing `access` is shown at this level.
    bool allows(Access access) const;

    /// Whether the page or control named `objectName` is shown: the pages of the page table and
    /// the protected controls follow their access; any other name is always shown.
    bool shows(std::string_view objectName) const;

    friend bool operator==(const AccessLevel&, const AccessLevel&) = default;
};

/// The level reached by entering `entered` while `userPassword` is stored (0 when none is).
/// Every evaluation stands on its own: it replaces the previous level, so a wrong entry locks
/// what an earlier one opened.
AccessLevel evaluateAccess(int entered, int userPassword);

} // namespace kvam
