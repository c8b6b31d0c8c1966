// The settings file's INI codec. Input: a count of edits (low two bits of the first byte), each
// edit as section, key and value (a length byte and Windows-1250 bytes each), then the file.
//
// Checked: a file read and written back without an edit keeps every byte; an edit that is refused
// changes nothing; an accepted edit changes at most the one line it rewrites (or the line it adds a
// line end to), adds at most a header and a key, and reads back as written; every section listed
// is found; what is written reads back the same after a second round; numbers written read back as
// the same number.

#include "config/IniProfile.h"
#include "fuzz/FuzzInput.h"
#include "texts/Cp1250.h"

#include <QList>

#include <cmath>
#include <cstring>

using namespace kvam;

namespace {

// The value as a reader finds it: without the blanks around it, and without matching quotes.
QByteArray readBack(QByteArray v)
{
    qsizetype from = 0, to = v.size();
    while (from < to && (v[from] == ' ' || v[from] == '\t'))
        ++from;
    while (to > from && (v[to - 1] == ' ' || v[to - 1] == '\t'))
        --to;
    if (to - from >= 2 && (v[from] == '"' || v[from] == '\'') && v[to - 1] == v[from]) {
        ++from;
        --to;
    }
    return v.sliced(from, to - from);
}

void checkEdit(const QByteArray& before, const QByteArray& after, const QByteArray& key)
{
    const QList<QByteArray> a = before.split('\n');
    const QList<QByteArray> b = after.split('\n');
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const qsizetype changed = a.size() - head - tail;
    const qsizetype added = b.size() - head - tail;
    KVAM_FUZZ_CHECK(changed <= 1);
    // A header and a key line; a last line that had no end also leaves an empty piece behind.
    KVAM_FUZZ_CHECK(added >= changed && added <= changed + 2 + (changed == 1 && head == a.size() - 1));
    if (changed == 1) {
        // Either the line got a line end, or it is the key line rewritten with its own spelling.
        const QByteArray& old = a[head];
        const qsizetype eq = old.indexOf('=');
        const bool endAdded = b[head].startsWith(old);
        const bool rewritten = eq >= 0 && b[head].startsWith(old.left(eq + 1)) &&
                               cp1250::decode(old.left(eq))
                                       .trimmed()
                                       .compare(cp1250::decode(key).trimmed(), Qt::CaseInsensitive) == 0;
        KVAM_FUZZ_CHECK(endAdded || rewritten);
    }
}

void checkNumbers(const QByteArray& value)
{
    static const QLocale locales[] = {QLocale::c(), QLocale(QLocale::Hungarian, QLocale::Hungary),
                                      QLocale(QLocale::German, QLocale::Germany)};
    float f = 0;
    std::int32_t i = 0;
    const QByteArray raw = value + QByteArray(8, '\0');
    std::memcpy(&f, raw.constData(), 4);
    std::memcpy(&i, raw.constData() + 4, 4);
    KVAM_FUZZ_CHECK(IniProfile::parseInt(IniProfile::formatInt(i)) == i);
    for (const QLocale& locale : locales) {
        if (std::isfinite(f)) {
            const std::optional<double> back =
                IniProfile::parseFloat(IniProfile::formatFloat(f, locale), locale);
            KVAM_FUZZ_CHECK(back && static_cast<float>(*back) == f);
        }
        (void)IniProfile::parseFloat(cp1250::decode(value), locale);
    }
    (void)IniProfile::parseInt(cp1250::decode(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    struct Edit
    {
        QByteArray section, key, value;
    };
    std::vector<Edit> edits(in.byte() & 3);
    for (Edit& e : edits) {
        e.section = in.bytes(in.byte());
        e.key = in.bytes(in.byte());
        e.value = in.bytes(in.byte());
    }
    const QByteArray file = in.rest();

    IniProfile profile = IniProfile::parse(file);
    KVAM_FUZZ_CHECK(profile.serialize() == file);
    for (const QString& name : profile.sectionNames())
        KVAM_FUZZ_CHECK(profile.hasSection(name));

    for (const Edit& e : edits) {
        const QString section = cp1250::decode(e.section);
        const QString key = cp1250::decode(e.key);
        const QString value = cp1250::decode(e.value);
        const QByteArray before = profile.serialize();
        const bool accepted = profile.setValue(section, key, value);
        const QByteArray after = profile.serialize();
        if (!accepted) {
            KVAM_FUZZ_CHECK(after == before);
            continue;
        }
        checkEdit(before, after, e.key);
        const IniProfile again = IniProfile::parse(after);
        KVAM_FUZZ_CHECK(again.serialize() == after);
        KVAM_FUZZ_CHECK(again.hasSection(section));
        const std::optional<QString> read = again.value(section, key);
        KVAM_FUZZ_CHECK(read && *read == cp1250::decode(readBack(e.value)));
        KVAM_FUZZ_CHECK(profile.value(section, key) == read);
        checkNumbers(e.value);
    }
    return 0;
}
