#include "config/UserPasswordStore.h"

#include <QFileInfo>
#include <QSettings>

#include <limits>
#include <memory>
#include <optional>

namespace kvam {

namespace {

const QString kOrganisation = QStringLiteral("Velmar");

#ifdef Q_OS_WIN
// QSettings keeps organisation-wide values of the native format under "OrganizationDefaults"
// below the organisation's key, so the key is named by its full path instead.
const QString kRegistryKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Velmar");

std::unique_ptr<QSettings> openStore()
{
    return std::make_unique<QSettings>(kRegistryKey, QSettings::NativeFormat);
}

bool storeExists()
{
    // Opening the key itself may create it, so look for it from its parent.
    QSettings software(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat);
    return software.childGroups().contains(kOrganisation, Qt::CaseInsensitive);
}
#else
std::unique_ptr<QSettings> openStore()
{
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation);
    settings->setFallbacksEnabled(false);
    return settings;
}

bool storeExists()
{
    return QFileInfo::exists(openStore()->fileName());
}
#endif

// A 32-bit integer as the store holds it: a REG_DWORD reads as an int, a value of a settings file
// as its decimal text.
std::optional<int> toInt32(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
        return value.toInt();
    case QMetaType::QString: {
        bool ok = false;
        const qlonglong n = value.toString().toLongLong(&ok, 10);
        if (!ok || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
            return std::nullopt;
        return static_cast<int>(n);
    }
    default:
        return std::nullopt;
    }
}

QString valueError(const char* text)
{
    return QString::fromLatin1(text).arg(QLatin1String(UserPasswordStore::kValueName));
}

} // namespace

UserPasswordStore::ReadResult UserPasswordStore::read() const
{
    ReadResult result;
    if (!storeExists())
        return result;
    const QVariant value = openStore()->value(QLatin1String(kValueName));
    if (!value.isValid()) {
        result.error = valueError("Failed to get data for '%1'");
        return result;
    }
    const std::optional<int> password = toInt32(value);
    if (!password) {
        result.error = valueError("Invalid data type for '%1'");
        return result;
    }
    result.password = *password;
    return result;
}

bool UserPasswordStore::write(int password) const
{
    const std::unique_ptr<QSettings> settings = openStore();
    if (!settings->isWritable())
        return false;
    settings->setValue(QLatin1String(kValueName), password);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

QString UserPasswordStore::location() const
{
    return openStore()->fileName();
}

} // namespace kvam
