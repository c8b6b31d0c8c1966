#include "texts/Cp1250.h"

#include <QHash>

#include <array>
#include <cstddef>

namespace kvam {

namespace {

// Windows-1250, bytes 0x80 to 0xFF. The undefined 0x81, 0x83, 0x88, 0x90 and 0x98 stand for the C1
// control characters of the same number.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

const QHash<char16_t, std::uint8_t>& upperHalfBytes()
{
    static const QHash<char16_t, std::uint8_t> bytes = [] {
        QHash<char16_t, std::uint8_t> h;
        for (std::size_t i = 0; i < kUpperHalf.size(); ++i)
            h.insert(kUpperHalf[i], static_cast<std::uint8_t>(0x80 + i));
        return h;
    }();
    return bytes;
}

// '?' for a character the code page lacks.
std::uint8_t encodeChar(char16_t c)
{
    if (c < 0x80)
        return static_cast<std::uint8_t>(c);
    const auto& h = upperHalfBytes();
    const auto it = h.constFind(c);
    return it == h.cend() ? std::uint8_t('?') : *it;
}

const std::array<std::uint8_t, 256>& foldTable()
{
    // Built from the code page itself: each byte's character in lower case, when the code page
    // holds that lower-case letter.
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char16_t c = b < 0x80 ? char16_t(b) : kUpperHalf[std::size_t(b - 0x80)];
            const char16_t lower = QChar(c).toLower().unicode();
            const std::uint8_t folded = encodeChar(lower);
            t[std::size_t(b)] = lower != c && (folded != '?' || lower == u'?') ? folded : std::uint8_t(b);
        }
        return t;
    }();
    return table;
}

} // namespace

namespace cp1250 {

QString decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        out[i] = QChar(b < 0x80 ? char16_t(b) : kUpperHalf[std::size_t(b - 0x80)]);
    }
    return text;
}

QByteArray encode(QStringView text)
{
    // One byte per UTF-16 unit: a character beyond the BMP (a surrogate pair) comes out as "??",
    // which is no worse than one '?' for a character that cannot be written anyway.
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[i] = static_cast<char>(encodeChar(text[i].unicode()));
    return bytes;
}

std::uint8_t fold(std::uint8_t byte)
{
    return foldTable()[byte];
}

} // namespace cp1250

} // namespace kvam
