#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kvam {

/// Appends `line` to the file at `path`, creating the file when it is missing. When the line
/// cannot be written whole, the file is cut back to the size it had (a file this call created is
/// removed), so that no part of the line stays for the next one to continue, and the system's
/// reason is returned; nothing when the line was written.
std::optional<QString> appendLine(const QString& path, const QByteArray& line);

} // namespace kvam
