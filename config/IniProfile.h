#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace kvam {

/// An INI file kept as the Windows profile functions keep it: lines in file order, comments, blank
/// and unknown lines untouched, keys in the order they stand, Windows-1250 bytes.
///
/// - A section header is '[' name ']' (blanks around the line and the name are ignored; text after
///   ']' is kept and ignored). A key line is key '=' value; key and value are taken without their
///   surrounding blanks, a value in matching quotes without the quotes. A line whose first
///   non-blank character is ';' is a comment. Lines before the first header belong to no section.
/// - Section and key names match without regard to case. Of two sections (or keys within one
///   section) of the same name the first one counts, for reading and for writing.
/// - Lines end in LF or CR LF on reading. Lines that are not written keep their bytes, line ends
///   included; a rewritten line keeps its own end; added lines end in CR LF.
class IniProfile
{
public:
    IniProfile() = default;
    static IniProfile parse(const QByteArray& bytes);
    QByteArray serialize() const;

    /// Every section name in file order; a name that stands twice is listed once.
    QStringList sectionNames() const;
    bool hasSection(QStringView section) const;

    /// The value of `key` in `section`, or nothing when either is missing.
    std::optional<QString> value(QStringView section, QStringView key) const;

    /// Replaces the value of `key` in place, or appends the key at the end of the section (behind
    /// its last key line; in a section without keys, behind its last line that is not blank), or
    /// appends the section at the end of the file. Refuses (returns false
    /// and changes nothing) names and values that would not read back as written: an empty key,
    /// a key holding '=' or starting with '[' or ';', a section name holding ']', and any line
    /// break.
    bool setValue(QStringView section, QStringView key, QStringView value);

    /// `defaultValue` when the key is missing or its text is not an integer (see parseInt()).
    std::int32_t readInt(QStringView section, QStringView key, std::int32_t defaultValue) const;
    bool writeInt(QStringView section, QStringView key, std::int32_t value);
    /// `defaultValue` when the key is missing or its text is not a number (see parseFloat()).
    double readFloat(QStringView section, QStringView key, double defaultValue, const QLocale& locale) const;
    bool writeFloat(QStringView section, QStringView key, double value, const QLocale& locale);

    /// Signed decimal.
    static QString formatInt(std::int32_t value);
    /// The whole text (blanks around it ignored) as an optional sign and decimal digits, or as
    /// an optional sign, "0x" or "0X" and hexadecimal digits. Numbers from 2147483648 up to
    /// 4294967295 (0xFFFFFFFF) are taken as their 32-bit pattern (4294967295 reads as -1, as a
    /// 32-bit field holds it); text with anything else, or a number beyond 32 bits, is no integer
    /// (rather than its leading digits, which would load a wrong value without a word).
    static std::optional<std::int32_t> parseInt(QStringView text);
    /// The "%.15g" form (15 significant digits, exponent from 1e-05 down and from 1e+15 up) with
    /// the locale's decimal separator; '.' when the locale's separator is not one Windows-1250
    /// character.
    static QString formatFloat(double value, const QLocale& locale);
    /// The whole text as a decimal number with either '.' or ',' (or the locale's separator) as
    /// the decimal separator, optionally with an exponent; anything else is no number.
    static std::optional<double> parseFloat(QStringView text, const QLocale& locale);

private:
    enum class Kind : std::uint8_t
    {
        Other,
        Comment,
        Header,
        Key,
    };
    enum class End : std::uint8_t
    {
        None,
        Lf,
        CrLf,
    };
    struct Line
    {
        QByteArray text; ///< without its end; refers to m_source until rewritten
        Kind kind = Kind::Other;
        End end = End::None;
        qsizetype nameFrom = 0; ///< the trimmed section or key name within text
        qsizetype nameSize = 0;
        qsizetype valueFrom = 0; ///< first byte after '=' (key lines)

        QByteArrayView name() const { return QByteArrayView(text).sliced(nameFrom, nameSize); }
    };
    struct Section
    {
        Line header;
        std::vector<Line> lines;
    };

    static Line parseLine(const QByteArray& text, End end);
    const Section* findSection(QByteArrayView foldedName) const;
    Section* findSection(QByteArrayView foldedName);
    static const Line* findKey(const Section& section, QByteArrayView foldedKey);
    Line* lastLine();

    QByteArray m_source;      ///< the parsed bytes, which the untouched lines refer to
    std::vector<Line> m_head; ///< lines before the first section header
    std::vector<Section> m_sections;
};

} // namespace kvam
