#include "meter/HostileMeter.h"

#include "protocol/Commands.h"
#include "protocol/Frame.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace kvam {

namespace {

constexpr qsizetype kMaxNoiseBytes = 64 * 1024 * 1024;

/// Code, length field and body, with the CRC over them when `withCrc`: the header need not tell
/// the truth about the body.
QByteArray rawFrame(std::uint8_t code, int length, const QByteArray& body, bool withCrc)
{
    const auto* b = reinterpret_cast<const std::uint8_t*>(body.constData());
    const std::vector<std::uint8_t> f =
        encodeRawFrame(code, length, std::span<const std::uint8_t>(b, std::size_t(body.size())), withCrc);
    return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}

/// A well-formed frame around `body`.
QByteArray frameOf(std::uint8_t code, const QByteArray& body)
{
    return rawFrame(code, lengthFieldFor(int(body.size())), body, true);
}

/// The payload of a well-formed frame (code, length, payload, CRC).
QByteArray payloadOf(const QByteArray& frame)
{
    constexpr qsizetype kOverhead = kHeaderSize + kCrcSize;
    return frame.size() >= kOverhead ? frame.mid(kHeaderSize, frame.size() - kOverhead) : QByteArray();
}

std::optional<int> parseInt(const QString& text, int lo, int hi)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi)
        return std::nullopt;
    return v;
}

/// "N", "rec", "rec-K" or "rec+K" into the step's length fields.
bool parseLength(const QString& text, HostileStep& step)
{
    if (text.startsWith(QLatin1String("rec"))) {
        step.relativeLength = true;
        const QString rest = text.mid(3);
        if (rest.isEmpty())
            return true;
        const auto delta = parseInt(rest, -65535, 65535);
        if (!delta || !(rest.startsWith(QLatin1Char('-')) || rest.startsWith(QLatin1Char('+'))))
            return false;
        step.lengthDelta = *delta;
        return true;
    }
    const auto n = parseInt(text, 0, 65535);
    if (!n)
        return false;
    step.length = *n;
    return true;
}

} // namespace

ParseResult<std::vector<HostileStep>> parseHostileScript(const QString& text)
{
    ParseResult<std::vector<HostileStep>> result;
    std::vector<HostileStep> steps;
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& rawItem : items) {
        QString item = rawItem.trimmed();
        const auto fail = [&](const QString& why) {
            result.error = QStringLiteral("hostile step \"%1\": %2").arg(rawItem.trimmed(), why);
            return result;
        };
        if (item.isEmpty())
            return fail(QStringLiteral("empty step"));
        HostileStep step;
        const qsizetype colon = item.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            const auto trigger = parseInt(item.left(colon), 1, kCommandCount);
            if (!trigger)
                return fail(QStringLiteral("the request code before ':' must be 1..16"));
            step.trigger = *trigger;
            item = item.mid(colon + 1);
        }
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        const QString key = (eq < 0 ? item : item.left(eq)).toLower();
        const QString value = eq < 0 ? QString() : item.mid(eq + 1);
        using K = HostileStep::Kind;
        if (key == QLatin1String("len") || key == QLatin1String("frame")) {
            step.kind = key == QLatin1String("len") ? K::Header : K::Frame;
            if (!parseLength(value, step))
                return fail(QStringLiteral("length must be 0..65535, rec, rec-K or rec+K"));
        } else if (key == QLatin1String("code")) {
            step.kind = K::Code;
            const auto code = parseInt(value, 0, 255);
            if (!code)
                return fail(QStringLiteral("code must be 0..255"));
            step.code = *code;
        } else if (key == QLatin1String("float")) {
            step.kind = K::Floats;
            const QByteArray latin = value.toLatin1();
            char* end = nullptr;
            step.value = std::strtof(latin.constData(), &end);
            if (latin.isEmpty() || end != latin.constData() + latin.size())
                return fail(QStringLiteral("not a number"));
        } else if (key == QLatin1String("date")) {
            step.kind = K::Date;
            step.date = QByteArray::fromHex(value.toLatin1());
            const bool hex = value.size() % 2 == 0 && std::all_of(value.begin(), value.end(), [](QChar c) {
                                 return c.isDigit() || QStringLiteral("abcdefABCDEF").contains(c);
                             });
            if (!hex || step.date.size() > qsizetype(version::Programdate.count))
                return fail(QStringLiteral("the date must be at most 12 bytes in hex digits"));
        } else if (key == QLatin1String("version") && value == QLatin1String("garbage")) {
            step.kind = K::Garbage;
        } else if (key == QLatin1String("noise")) {
            step.kind = K::Noise;
            bool ok = false;
            step.noiseBytes = value.toLongLong(&ok);
            if (!ok || step.noiseBytes < 1 || step.noiseBytes > kMaxNoiseBytes)
                return fail(QStringLiteral("noise size must be 1..67108864"));
        } else if (eq < 0 && key == QLatin1String("half")) {
            step.kind = K::Half;
        } else if (eq < 0 && key == QLatin1String("die")) {
            step.kind = K::Die;
        } else if (eq < 0 && key == QLatin1String("silence")) {
            step.kind = K::Silence;
        } else if (eq < 0 && key == QLatin1String("good")) {
            step.kind = K::Good;
        } else {
            return fail(QStringLiteral("unknown step (known: len=, frame=, code=, float=, date=, "
                                       "version=garbage, noise=, half, die, silence, good)"));
        }
        steps.push_back(step);
    }
    result.value = std::move(steps);
    return result;
}

HostileMeter::HostileMeter(std::vector<HostileStep> steps, const VersionRecord& version, std::uint32_t seed)
    : m_steps(std::move(steps)), m_version(version), m_rng(seed)
{
}

QByteArray HostileMeter::noise(qsizetype count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    std::uniform_int_distribution<int> byte(0, 255);
    for (char& b : bytes)
        b = char(byte(m_rng));
    return bytes;
}

std::optional<HostileAnswer> HostileMeter::replace(const MeterAnswer& right)
{
    if (done())
        return std::nullopt;
    const HostileStep& step = m_steps[m_next];
    if (step.trigger != 0 && step.trigger != right.code)
        return std::nullopt;
    ++m_next;

    using K = HostileStep::Kind;
    HostileAnswer out;
    out.answer.code = right.code;
    switch (step.kind) {
    case K::Good:
        out.answer = right;
        break;
    case K::Silence:
        break;
    case K::Noise:
        out.noiseBytes = step.noiseBytes;
        break;
    case K::Die:
        out.dieAfterSent = true;
        break;
    case K::Half:
        out.answer.bytes = right.bytes.left(right.bytes.size() / 2);
        out.dieAfterSent = true;
        break;
    default:
        out.answer.bytes = build(step, right);
        break;
    }
    return out;
}

QByteArray HostileMeter::build(const HostileStep& step, const MeterAnswer& right)
{
    using K = HostileStep::Kind;
    const auto code = static_cast<std::uint8_t>(right.code);
    const QByteArray payload = payloadOf(right.bytes);
    switch (step.kind) {
    case K::Header:
    case K::Frame: {
        const int length =
            step.relativeLength ? lengthFieldFor(answerRecordSize(code)) + step.lengthDelta : step.length;
        if (length < 0 || length > 65535)
            return {}; // the record is too small for this edge: nothing is sent
        if (step.kind == K::Header)
            return rawFrame(code, length, {}, false);
        if (length < kCrcSize) // no room for a CRC: the N bytes the field announces are all there is
            return rawFrame(code, length, QByteArray(length, '\0'), false);
        QByteArray body = payload.left(length - kCrcSize);
        body.append(QByteArray(length - kCrcSize - body.size(), '\0'));
        return rawFrame(code, length, body, true);
    }
    case K::Code:
        return frameOf(static_cast<std::uint8_t>(step.code), payload);
    case K::Floats: {
        NetRecord rec;
        for (std::size_t o = 0; o + 4 <= rec.size(); o += 4)
            rec.set(o, step.value);
        const QByteArray body(reinterpret_cast<const char*>(rec.data()), qsizetype(rec.size()));
        return frameOf(Read_Net, body);
    }
    case K::Date: {
        VersionRecord rec = m_version;
        std::memset(rec.data() + version::Programdate.offset, 0, version::Programdate.count);
        std::memcpy(rec.data() + version::Programdate.offset, step.date.constData(),
                    std::size_t(step.date.size()));
        const QByteArray body(reinterpret_cast<const char*>(rec.data()), qsizetype(rec.size()));
        return frameOf(Read_Version, body);
    }
    case K::Garbage: {
        QByteArray body = noise(qsizetype(version::kSize));
        body[qsizetype(version::ProgramversionMajor.offset)] = char(3); // the supported major: talk goes on
        return frameOf(Read_Version, body);
    }
    default:
        return {};
    }
}

} // namespace kvam
