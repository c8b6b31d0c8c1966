#include "meter/FirmwareVersion.h"

#include <QStringList>

namespace kvam {

QString FirmwareVersion::toString() const
{
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(build);
}

namespace {

std::optional<unsigned> parsePart(const QString& part, unsigned max)
{
    if (part.isEmpty() || part.size() > 5)
        return std::nullopt;
    for (QChar c : part)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const unsigned value = part.toUInt();
    if (value > max)
        return std::nullopt;
    return value;
}

} // namespace

ParseResult<FirmwareVersion> parseFirmwareVersion(const QString& text)
{
    ParseResult<FirmwareVersion> result;
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 3) {
        result.error = QStringLiteral("version \"%1\" is not of the form X.Y.Z").arg(text);
        return result;
    }
    const auto major = parsePart(parts[0], 255);
    const auto minor = parsePart(parts[1], 255);
    const auto build = parsePart(parts[2], 65535);
    if (!major || !minor || !build) {
        result.error =
            QStringLiteral("version \"%1\": major and minor must be 0..255, build 0..65535").arg(text);
        return result;
    }
    result.value = FirmwareVersion{static_cast<std::uint8_t>(*major), static_cast<std::uint8_t>(*minor),
                                   static_cast<std::uint16_t>(*build)};
    return result;
}

} // namespace kvam
