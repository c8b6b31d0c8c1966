#pragma once

#include "records/Records.h"

#include <QLocale>
#include <QString>
#include <QStringList>

namespace kvam {

class IniProfile;

// The settings file ("settings.ini"): one section per meter, named after its factory number,
// holding every RAM2 and RAM3 field of the configuration tables (config/ConfigFields.h) under its
// key. The file's other sections, comments and layout stay as they are.

/// Writes every RAM2 key, then every RAM3 key into `section`, creating the file or the section
/// when needed and replacing the keys that exist. Integers are written as signed 32-bit numbers,
/// floats with the locale's decimal separator. The file is replaced as a whole only once the new
/// contents are written: on failure the previous file is intact and `error` says why.
bool saveSettings(const QString& path, const QString& section, const Ram2Image& ram2, const Ram3Image& ram3,
                  const QLocale& locale, QString* error = nullptr);

/// What saveSettings() writes into its file, written into `profile`: for files that hold a settings
/// section among other things. False, with nothing written, when `section` cannot be a section
/// name.
bool writeSettingsSection(IniProfile& profile, const QString& section, const Ram2Image& ram2,
                          const Ram3Image& ram3, const QLocale& locale, QString* error = nullptr);

/// Every section name of the file in file order. A missing file has none (and is no error).
QStringList settingsSections(const QString& path, QString* error = nullptr);

/// Fills both images from `section`: each value cut to its field's width, a missing key or one
/// that does not parse taking its default. A file that cannot be read or a section it does not
/// hold changes neither image and returns false with the reason in `error`. `defaulted`, when
/// given, takes the keys that were missing or did not parse, in file order (a strict caller refuses
/// such a section rather than write defaults into a meter).
bool loadSettings(const QString& path, const QString& section, Ram2Image& ram2, Ram3Image& ram3,
                  const QLocale& locale, QString* error = nullptr, QStringList* defaulted = nullptr);

} // namespace kvam
