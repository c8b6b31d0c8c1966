#include "records/FieldValue.h"

#include <cmath>
#include <cstring>

namespace kvam {

namespace {

bool fits(std::size_t imageSize, const FieldInfo& field, std::size_t index)
{
    return index < field.count && field.offset + (index + 1) * field.width() <= imageSize;
}

std::uint64_t loadLittle(const std::uint8_t* p, std::size_t width)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v |= std::uint64_t(p[i]) << (8 * i);
    return v;
}

void storeLittle(std::uint8_t* p, std::size_t width, std::uint64_t v)
{
    for (std::size_t i = 0; i < width; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool isSigned(FieldType type)
{
    return type == FieldType::i8 || type == FieldType::i16 || type == FieldType::i32 ||
           type == FieldType::i64;
}

float loadFloat(const std::uint8_t* p)
{
    const auto bits = static_cast<std::uint32_t>(loadLittle(p, 4));
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

void storeFloat(std::uint8_t* p, float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    storeLittle(p, 4, bits);
}

} // namespace

std::int64_t readInteger(std::span<const std::uint8_t> image, const FieldInfo& field, std::size_t index)
{
    if (!fits(image.size(), field, index))
        return 0;
    const std::uint8_t* p = image.data() + field.offset + index * field.width();
    if (field.type == FieldType::f32) {
        const float f = loadFloat(p);
        // Out-of-range and non-finite floats have no integer; they read as 0.
        if (!std::isfinite(f) || std::fabs(f) >= 9.2e18f)
            return 0;
        return static_cast<std::int64_t>(f);
    }
    const std::size_t w = field.width();
    std::uint64_t v = loadLittle(p, w);
    if (isSigned(field.type) && w < 8 && (v >> (8 * w - 1)) & 1)
        v |= ~std::uint64_t(0) << (8 * w);
    return static_cast<std::int64_t>(v);
}

void writeInteger(std::span<std::uint8_t> image, const FieldInfo& field, std::size_t index,
                  std::int64_t value)
{
    if (!fits(image.size(), field, index))
        return;
    std::uint8_t* p = image.data() + field.offset + index * field.width();
    if (field.type == FieldType::f32)
        storeFloat(p, static_cast<float>(value));
    else
        storeLittle(p, field.width(), static_cast<std::uint64_t>(value));
}

double readNumber(std::span<const std::uint8_t> image, const FieldInfo& field, std::size_t index)
{
    if (field.type == FieldType::f32) {
        if (!fits(image.size(), field, index))
            return 0.0;
        return loadFloat(image.data() + field.offset + index * field.width());
    }
    return static_cast<double>(readInteger(image, field, index));
}

void writeNumber(std::span<std::uint8_t> image, const FieldInfo& field, std::size_t index, double value)
{
    if (field.type == FieldType::f32) {
        if (fits(image.size(), field, index))
            storeFloat(image.data() + field.offset + index * field.width(), static_cast<float>(value));
        return;
    }
    // The default rounding mode of the floating-point environment rounds halves to even.
    const double r = std::nearbyint(value);
    const std::int64_t i = std::isfinite(r) && std::fabs(r) < 9.2e18 ? static_cast<std::int64_t>(r) : 0;
    writeInteger(image, field, index, i);
}

} // namespace kvam
