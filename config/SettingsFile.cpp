#include "config/SettingsFile.h"

#include "config/IniProfile.h"
#include "config/WholeFile.h"
#include "device/FieldTable.h"
#include "records/FieldValue.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>

namespace kvam {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

using KeyVisitor = std::function<void(const ConfigField&, std::size_t index, const QString& key)>;

QString indexedKey(const ConfigField& f, std::size_t index)
{
    return QString::fromUtf8(f.key) + QString::number(index);
}

// Every key of the table in the order the file writes them: a Single row's key, a Run row's
// keys one after the other, and a block of consecutive PerIndex rows index by index (index 0 of
// every row of the block, then index 1 of every row that has one, ...).
void forEachKey(std::span<const ConfigField> table, const KeyVisitor& visit)
{
    std::size_t row = 0;
    while (row < table.size()) {
        const ConfigField& f = table[row];
        if (f.order == KeyOrder::Single) {
            visit(f, 0, QString::fromUtf8(f.key));
            ++row;
        } else if (f.order == KeyOrder::Run) {
            for (std::size_t i = 0; i < f.keyCount; ++i)
                visit(f, i, indexedKey(f, i));
            ++row;
        } else {
            std::size_t end = row;
            std::size_t indexes = 0;
            while (end < table.size() && table[end].order == KeyOrder::PerIndex)
                indexes = std::max(indexes, table[end++].keyCount);
            for (std::size_t i = 0; i < indexes; ++i)
                for (std::size_t r = row; r < end; ++r)
                    if (i < table[r].keyCount)
                        visit(table[r], i, indexedKey(table[r], i));
            row = end;
        }
    }
}

// The file's bytes; a missing file reads as empty when `missingIsEmpty`.
bool readFile(const QString& path, bool missingIsEmpty, QByteArray& bytes, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        if (missingIsEmpty) {
            bytes.clear();
            return true;
        }
        setError(error, QStringLiteral("%1: no such file").arg(path));
        return false;
    }
    if (info.isDir()) {
        setError(error, QStringLiteral("%1: is a folder").arg(path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
        return false;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setError(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

template <std::size_t N>
bool saveRecord(IniProfile& profile, const QString& section, std::span<const ConfigField> table,
                const ByteImage<N>& image, const QLocale& locale)
{
    const std::span<const std::uint8_t> bytes(image.data(), image.size());
    bool ok = true;
    forEachKey(table, [&](const ConfigField& f, std::size_t index, const QString& key) {
        if (f.kind == SettingKind::Integer) {
            // The low 32 bits as a signed number: a u32 with bit 31 set is written negative.
            const auto bits = static_cast<std::uint32_t>(readInteger(bytes, f.info(), index));
            ok = profile.writeInt(section, key, static_cast<std::int32_t>(bits)) && ok;
        } else {
            ok = profile.writeFloat(section, key, readNumber(bytes, f.info(), index), locale) && ok;
        }
    });
    return ok;
}

template <std::size_t N>
void loadRecord(const IniProfile& profile, const QString& section, std::span<const ConfigField> table,
                ByteImage<N>& image, const QLocale& locale, QStringList* defaulted)
{
    const std::span<std::uint8_t> bytes(image.data(), image.size());
    forEachKey(table, [&](const ConfigField& f, std::size_t index, const QString& key) {
        const std::optional<QString> text = profile.value(section, key);
        if (f.kind == SettingKind::Integer) {
            const std::optional<std::int32_t> v = text ? IniProfile::parseInt(*text) : std::nullopt;
            if (v)
                writeInteger(bytes, f.info(), index, *v);
            else
                writeNumber(bytes, f.info(), index, f.fallback);
            if (!v && defaulted)
                *defaulted << key;
        } else {
            const std::optional<double> v = text ? IniProfile::parseFloat(*text, locale) : std::nullopt;
            writeNumber(bytes, f.info(), index, v.value_or(f.fallback));
            if (!v && defaulted)
                *defaulted << key;
        }
    });
}

} // namespace

bool saveSettings(const QString& path, const QString& section, const Ram2Image& ram2, const Ram3Image& ram3,
                  const QLocale& locale, QString* error)
{
    QByteArray bytes;
    // A file that exists but cannot be read is not overwritten: its other sections would be lost.
    if (!readFile(path, true, bytes, error))
        return false;
    IniProfile profile = IniProfile::parse(bytes);
    return writeSettingsSection(profile, section, ram2, ram3, locale, error) &&
           saveWholeFile(path, profile.serialize(), error);
}

bool writeSettingsSection(IniProfile& profile, const QString& section, const Ram2Image& ram2,
                          const Ram3Image& ram3, const QLocale& locale, QString* error)
{
    if (!saveRecord(profile, section, ram2ConfigFields(), ram2, locale) ||
        !saveRecord(profile, section, ram3ConfigFields(), ram3, locale)) {
        setError(error, QStringLiteral("\"%1\" cannot be a section name").arg(section));
        return false;
    }
    return true;
}

QStringList settingsSections(const QString& path, QString* error)
{
    QByteArray bytes;
    if (!readFile(path, true, bytes, error))
        return {};
    return IniProfile::parse(bytes).sectionNames();
}

bool loadSettings(const QString& path, const QString& section, Ram2Image& ram2, Ram3Image& ram3,
                  const QLocale& locale, QString* error, QStringList* defaulted)
{
    QByteArray bytes;
    if (!readFile(path, false, bytes, error))
        return false;
    const IniProfile profile = IniProfile::parse(bytes);
    if (!profile.hasSection(section)) {
        setError(error, QStringLiteral("%1: no such section \"%2\"").arg(path, section));
        return false;
    }
    Ram2Image newRam2 = ram2;
    Ram3Image newRam3 = ram3;
    QStringList missing;
    loadRecord(profile, section, ram2ConfigFields(), newRam2, locale, &missing);
    loadRecord(profile, section, ram3ConfigFields(), newRam3, locale, &missing);
    if (defaulted)
        *defaulted = missing;
    ram2 = newRam2;
    ram3 = newRam3;
    return true;
}

} // namespace kvam
