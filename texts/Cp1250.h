#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>

namespace kvam {

/// Windows-1250, the code page of the settings file's and the text log's bytes.
///
/// The five bytes the code page leaves undefined (0x81 0x83 0x88 0x90 0x98) decode to the C1
/// control characters of the same number, as Windows decodes them, and encode back to the same
/// byte, so that a file holding them keeps them. A character the code page lacks is written as '?'.
namespace cp1250 {
QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);
/// The byte a letter folds to for matching names without regard to case (ASCII and the code
/// page's own letters: 'Á' (0xC1) folds to 'á' (0xE1)); other bytes stay as they are.
std::uint8_t fold(std::uint8_t byte);
} // namespace cp1250

} // namespace kvam
