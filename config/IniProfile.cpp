#include "config/IniProfile.h"

#include "texts/Cp1250.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <string>
#include <string_view>

namespace kvam {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// [from, to) of `text` without the blanks around it.
std::pair<qsizetype, qsizetype> trimmed(QByteArrayView text, qsizetype from, qsizetype to)
{
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    return {from, to};
}

// A name without the blanks around it, as the parser takes names from the file: other white space
// (a CR, a no-break space) belongs to the name.
QStringView withoutBlanks(QStringView name)
{
    while (!name.isEmpty() && (name.front() == u' ' || name.front() == u'\t'))
        name = name.sliced(1);
    while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'\t'))
        name.chop(1);
    return name;
}

QByteArray foldedName(QStringView name)
{
    QByteArray bytes = cp1250::encode(withoutBlanks(name));
    for (char& c : bytes)
        c = static_cast<char>(cp1250::fold(static_cast<std::uint8_t>(c)));
    return bytes;
}

bool sameName(QByteArrayView raw, QByteArrayView folded)
{
    if (raw.size() != folded.size())
        return false;
    for (qsizetype i = 0; i < raw.size(); ++i)
        if (cp1250::fold(static_cast<std::uint8_t>(raw[i])) != static_cast<std::uint8_t>(folded[i]))
            return false;
    return true;
}

bool isBlankLine(const auto& line)
{
    return std::all_of(line.text.begin(), line.text.end(), isBlank);
}

bool hasLineBreak(QByteArrayView bytes)
{
    return bytes.contains('\n') || bytes.contains('\r');
}

QByteArrayView endBytes(bool crlf)
{
    return crlf ? QByteArrayView("\r\n") : QByteArrayView("\n");
}

} // namespace

IniProfile::Line IniProfile::parseLine(const QByteArray& text, End end)
{
    Line line;
    line.text = text;
    line.end = end;
    const auto [from, to] = trimmed(text, 0, text.size());
    if (from == to)
        return line;
    if (text[from] == ';') {
        line.kind = Kind::Comment;
        return line;
    }
    if (text[from] == '[') {
        const qsizetype close = text.indexOf(']', from + 1);
        if (close < 0)
            return line;
        const auto [nameFrom, nameTo] = trimmed(text, from + 1, close);
        line.kind = Kind::Header;
        line.nameFrom = nameFrom;
        line.nameSize = nameTo - nameFrom;
        return line;
    }
    const qsizetype eq = text.indexOf('=', from);
    if (eq < 0)
        return line;
    const auto [nameFrom, nameTo] = trimmed(text, from, eq);
    line.kind = Kind::Key;
    line.nameFrom = nameFrom;
    line.nameSize = nameTo - nameFrom;
    line.valueFrom = eq + 1;
    return line;
}

IniProfile IniProfile::parse(const QByteArray& bytes)
{
    IniProfile profile;
    profile.m_source = bytes;
    const QByteArray& src = profile.m_source;
    qsizetype pos = 0;
    while (pos < src.size()) {
        qsizetype lf = src.indexOf('\n', pos);
        End end = End::Lf;
        qsizetype textEnd = lf;
        if (lf < 0) {
            end = End::None;
            lf = src.size();
            textEnd = lf;
        } else if (lf > pos && src[lf - 1] == '\r') {
            end = End::CrLf;
            --textEnd;
        }
        // The lines refer to the source bytes; only a rewritten line holds bytes of its own.
        Line line = parseLine(QByteArray::fromRawData(src.constData() + pos, textEnd - pos), end);
        if (line.kind == Kind::Header)
            profile.m_sections.push_back(Section{std::move(line), {}});
        else if (profile.m_sections.empty())
            profile.m_head.push_back(std::move(line));
        else
            profile.m_sections.back().lines.push_back(std::move(line));
        pos = lf + 1;
    }
    return profile;
}

QByteArray IniProfile::serialize() const
{
    qsizetype size = 0;
    const auto count = [&size](const Line& l) { size += l.text.size() + 2; };
    std::for_each(m_head.begin(), m_head.end(), count);
    for (const Section& s : m_sections) {
        count(s.header);
        std::for_each(s.lines.begin(), s.lines.end(), count);
    }
    QByteArray out;
    out.reserve(size);
    const auto put = [&out](const Line& l) {
        out += l.text;
        if (l.end != End::None)
            out += endBytes(l.end == End::CrLf);
    };
    std::for_each(m_head.begin(), m_head.end(), put);
    for (const Section& s : m_sections) {
        put(s.header);
        std::for_each(s.lines.begin(), s.lines.end(), put);
    }
    return out;
}

QStringList IniProfile::sectionNames() const
{
    QStringList names;
    std::vector<QByteArray> seen;
    for (const Section& s : m_sections) {
        const QByteArrayView name = s.header.name();
        const bool listed = std::any_of(seen.begin(), seen.end(),
                                        [&name](const QByteArray& folded) { return sameName(name, folded); });
        if (listed)
            continue;
        QByteArray folded = name.toByteArray();
        for (char& c : folded)
            c = static_cast<char>(cp1250::fold(static_cast<std::uint8_t>(c)));
        seen.push_back(std::move(folded));
        names.append(cp1250::decode(name));
    }
    return names;
}

const IniProfile::Section* IniProfile::findSection(QByteArrayView foldedName) const
{
    for (const Section& s : m_sections)
        if (sameName(s.header.name(), foldedName))
            return &s;
    return nullptr;
}

IniProfile::Section* IniProfile::findSection(QByteArrayView foldedName)
{
    return const_cast<Section*>(std::as_const(*this).findSection(foldedName));
}

const IniProfile::Line* IniProfile::findKey(const Section& section, QByteArrayView foldedKey)
{
    for (const Line& l : section.lines)
        if (l.kind == Kind::Key && sameName(l.name(), foldedKey))
            return &l;
    return nullptr;
}

IniProfile::Line* IniProfile::lastLine()
{
    if (!m_sections.empty()) {
        Section& s = m_sections.back();
        return s.lines.empty() ? &s.header : &s.lines.back();
    }
    return m_head.empty() ? nullptr : &m_head.back();
}

bool IniProfile::hasSection(QStringView section) const
{
    return findSection(foldedName(section)) != nullptr;
}

std::optional<QString> IniProfile::value(QStringView section, QStringView key) const
{
    const Section* s = findSection(foldedName(section));
    if (!s)
        return std::nullopt;
    const Line* l = findKey(*s, foldedName(key));
    if (!l)
        return std::nullopt;
    auto [from, to] = trimmed(l->text, l->valueFrom, l->text.size());
    if (to - from >= 2 && (l->text[from] == '"' || l->text[from] == '\'') &&
        l->text[to - 1] == l->text[from]) {
        ++from;
        --to;
    }
    return cp1250::decode(QByteArrayView(l->text).sliced(from, to - from));
}

bool IniProfile::setValue(QStringView section, QStringView key, QStringView value)
{
    const QByteArray sectionBytes = cp1250::encode(withoutBlanks(section));
    const QByteArray keyBytes = cp1250::encode(withoutBlanks(key));
    const QByteArray valueBytes = cp1250::encode(value);
    if (keyBytes.isEmpty() || keyBytes.contains('=') || keyBytes.startsWith('[') ||
        keyBytes.startsWith(';') || sectionBytes.contains(']') || hasLineBreak(sectionBytes) ||
        hasLineBreak(keyBytes) || hasLineBreak(valueBytes))
        return false;

    Section* s = findSection(foldedName(section));
    if (!s) {
        if (Line* last = lastLine(); last && last->end == End::None)
            last->end = End::CrLf;
        m_sections.push_back(Section{parseLine('[' + sectionBytes + ']', End::CrLf), {}});
        s = &m_sections.back();
    }

    const QByteArray foldedKey = foldedName(key);
    if (const Line* found = findKey(*s, foldedKey)) {
        // In place: the key as the file spells it, its '=' and the new value.
        Line& l = const_cast<Line&>(*found);
        QByteArray text = l.text.left(l.valueFrom) + valueBytes;
        const End end = l.end == End::None ? End::CrLf : l.end;
        l = parseLine(text, end);
        return true;
    }

    // Behind the section's last key line, so that blank lines and a comment that lead the next
    // section stay in front of it; in a section without keys, behind its last line that is not
    // blank.
    auto at = s->lines.begin();
    bool keys = false;
    for (auto it = s->lines.begin(); it != s->lines.end(); ++it) {
        if (it->kind == Kind::Key || (!keys && !isBlankLine(*it)))
            at = it + 1;
        keys = keys || it->kind == Kind::Key;
    }
    Line& before = at == s->lines.begin() ? s->header : *(at - 1);
    if (before.end == End::None)
        before.end = End::CrLf;
    s->lines.insert(at, parseLine(keyBytes + '=' + valueBytes, End::CrLf));
    return true;
}

std::int32_t IniProfile::readInt(QStringView section, QStringView key, std::int32_t defaultValue) const
{
    const std::optional<QString> text = value(section, key);
    if (!text)
        return defaultValue;
    return parseInt(*text).value_or(defaultValue);
}

bool IniProfile::writeInt(QStringView section, QStringView key, std::int32_t value)
{
    return setValue(section, key, formatInt(value));
}

double IniProfile::readFloat(QStringView section, QStringView key, double defaultValue,
                             const QLocale& locale) const
{
    const std::optional<QString> text = value(section, key);
    if (!text)
        return defaultValue;
    return parseFloat(*text, locale).value_or(defaultValue);
}

bool IniProfile::writeFloat(QStringView section, QStringView key, double value, const QLocale& locale)
{
    return setValue(section, key, formatFloat(value, locale));
}

QString IniProfile::formatInt(std::int32_t value)
{
    return QString::number(value);
}

std::optional<std::int32_t> IniProfile::parseInt(QStringView text)
{
    // Characters beyond Latin-1 become '?', which no number holds.
    const QByteArray bytes = text.trimmed().toLatin1();
    std::string_view digits(bytes.constData(), std::size_t(bytes.size()));
    const bool negative = digits.starts_with('-');
    if (negative || digits.starts_with('+'))
        digits.remove_prefix(1);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    std::uint32_t magnitude = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, magnitude, base);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    if (negative) {
        if (magnitude > std::uint32_t(1) << 31)
            return std::nullopt;
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    }
    return static_cast<std::int32_t>(magnitude);
}

namespace {

char decimalSeparator(const QLocale& locale)
{
    const QString point = locale.decimalPoint();
    if (point.size() != 1)
        return '.';
    const char b = cp1250::encode(point).front();
    return b == '?' ? '.' : b;
}

} // namespace

QString IniProfile::formatFloat(double value, const QLocale& locale)
{
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
    std::string text(buffer.data(), result.ptr);
    const char separator = decimalSeparator(locale);
    std::replace(text.begin(), text.end(), '.', separator);
    return cp1250::decode(QByteArrayView(text.data(), qsizetype(text.size())));
}

std::optional<double> IniProfile::parseFloat(QStringView text, const QLocale& locale)
{
    text = text.trimmed();
    const QByteArray bytes = cp1250::encode(text);
    if (bytes.isEmpty() || cp1250::decode(bytes) != text)
        return std::nullopt;
    std::string s = bytes.toStdString();
    if (s[0] == '+') {
        s.erase(0, 1);
        if (s.empty() || s[0] == '-' || s[0] == '+')
            return std::nullopt;
    }
    const char separator = decimalSeparator(locale);
    for (char& c : s)
        if (c == separator || c == ',')
            c = '.';
    double value = 0;
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != s.data() + s.size())
        return std::nullopt;
    return value;
}

} // namespace kvam
