// The log file's record line, for a measurement record made of the fuzz bytes. Input: a locale
// (one byte), the moment (eight bytes, milliseconds since 1970), the record's bytes, then pairs of
// (float index, kind) that put NaN, infinities, huge, tiny and negative zero values into it.
//
// Checked: 38 logged texts, none empty and none holding a quote, a ';' or a line break, so that
// every line has the header's 39 columns whatever the meter sent; the line ends in CR LF and
// holds no other line break.

#include "fuzz/FuzzInput.h"
#include "log/LogFile.h"
#include "records/Records.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <limits>

using namespace kvam;

namespace {

float special(std::uint8_t kind)
{
    using L = std::numeric_limits<float>;
    switch (kind % 10) {
    case 0:
        return L::quiet_NaN();
    case 1:
        return -L::quiet_NaN();
    case 2:
        return L::infinity();
    case 3:
        return -L::infinity();
    case 4:
        return L::max();
    case 5:
        return L::lowest();
    case 6:
        return L::denorm_min();
    case 7:
        return -0.0f;
    case 8:
        return 1e30f;
    default:
        return -9.999e37f;
    }
}

qsizetype count(const QByteArray& bytes, char c)
{
    return std::count(bytes.begin(), bytes.end(), c);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QLocale locales[] = {
        QLocale::c(),
        QLocale(QLocale::Hungarian, QLocale::Hungary),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::Arabic, QLocale::Egypt),
        QLocale(QLocale::Persian, QLocale::Iran),
        QLocale(QLocale::Chinese, QLocale::China),
        QLocale(QLocale::Russian, QLocale::Russia),
    };
    static const qsizetype columns = logHeaderText().split(u';').size();

    fuzz::Input in(data, size);
    const QLocale& locale = locales[in.byte() % std::size(locales)];
    const auto msecs = static_cast<qint64>(in.u64());
    NetRecord rec;
    const QByteArray bytes = in.bytes(rec.size());
    std::memcpy(rec.data(), bytes.constData(), std::size_t(bytes.size()));
    while (in.left() >= 2) {
        const std::size_t index = in.byte() % (rec.size() / 4);
        rec.set(index * 4, special(in.byte()));
    }

    QLocale::setDefault(locale);
    const QStringList texts = logFieldTexts(&rec);
    KVAM_FUZZ_CHECK(std::size_t(texts.size()) == kLoggedFieldCount);
    KVAM_FUZZ_CHECK(qsizetype(kLoggedFieldCount) + 1 == columns);
    for (const QString& t : texts) {
        KVAM_FUZZ_CHECK(!t.isEmpty());
        for (const QChar c : {u'"', u';', u'\r', u'\n'})
            KVAM_FUZZ_CHECK(!t.contains(c));
    }

    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(msecs);
    const QByteArray line = logRecordLine(moment, texts, locale);
    KVAM_FUZZ_CHECK(line.endsWith("\r\n"));
    KVAM_FUZZ_CHECK(count(line, '\r') == 1 && count(line, '\n') == 1);
    KVAM_FUZZ_CHECK(line.startsWith('"'));
    KVAM_FUZZ_CHECK(line.chopped(2).endsWith('"'));
    KVAM_FUZZ_CHECK(line.chopped(3).sliced(1).split(';').size() == columns);
    KVAM_FUZZ_CHECK(line.chopped(3).sliced(1).split('"').size() == 2 * columns - 1);
    QLocale::setDefault(QLocale::c());
    return 0;
}
