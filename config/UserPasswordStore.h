#pragma once

#include <QString>

namespace kvam {

/// The user password kept per user of the computer: one signed 32-bit integer, the value
/// "UserPassword" of the organisation "Velmar".
///
/// On Windows it is the REG_DWORD value under HKEY_CURRENT_USER\Software\Velmar. Elsewhere it is
/// the user's native settings file of the organisation (on Linux
/// $XDG_CONFIG_HOME/Velmar.conf); the system-wide files are not consulted. There "the store
/// exists" means that this file exists, as the key exists on Windows; a store that exists but
/// holds no "UserPassword" is a read error, like a key without the value.
class UserPasswordStore
{
public:
    static constexpr const char* kValueName = "UserPassword";

    struct ReadResult
    {
        int password = 0; ///< 0 when nothing is stored or the value cannot be read
        QString error;    ///< empty on success and when no store exists
    };

    /// The stored password. No store at all is not an error: the password is 0. A store without
    /// the value gives "Failed to get data for 'UserPassword'", a value that is not an integer
    /// of 32 bits "Invalid data type for 'UserPassword'"; the password is then 0.
    ReadResult read() const;

    /// Stores `password`, creating the store when missing. False when it could not be stored.
    bool write(int password) const;

    /// Where the password is kept: the settings file, or the registry key on Windows.
    QString location() const;
};

} // namespace kvam
