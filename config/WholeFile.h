#pragma once

#include <QByteArray>
#include <QString>

namespace kvam {

/// Replaces the file at `path` with `bytes` through QSaveFile: either every byte is on disk under
/// the name, or nothing changed there and `error` gives the system's reason. The bytes are
/// written unbuffered and every write's count is checked: QSaveFile's commit alone takes a final
/// flush that the disk cut short (full, or the process's file size limit) for success and renames
/// the short file into place.
bool saveWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace kvam
