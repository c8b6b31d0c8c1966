#include "app/AccessLevel.h"

namespace kvam {

bool AccessLevel::allows(Access access) const
{
    switch (access) {
    case Access::Everyone:
        return true;
    case Access::UserOrAbove:
        return user;
    case Access::Factory:
        return factory;
    }
    return false;
}

bool AccessLevel::shows(std::string_view objectName) const
{
    for (const MainPage& page : mainPages())
        if (objectName == page.objectName)
            return allows(page.access);
    for (const ProtectedControl& control : kProtectedControls)
        if (objectName == control.objectName)
            return allows(control.access);
    return true;
}

AccessLevel evaluateAccess(int entered, int userPassword)
{
    AccessLevel level;
    level.factory = entered == kFactoryAccessCode;
    level.user = level.factory || entered == userPassword;
    return level;
}

} // namespace kvam
