#pragma once

#include "platform/ByteImage.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <utility>

namespace kvam {

/// How a field's bytes are read. `raw` bytes are not a number: characters, or bytes the program
/// only carries.
enum class FieldType : std::uint8_t
{
    u8,
    i8,
    u16,
    i16,
    u32,
    i32,
    i64,
    f32,
    raw
};

/// The C++ type of one element of a field of this type (raw bytes read as bytes).
template <FieldType Type>
using FieldValueType =
    std::tuple_element_t<static_cast<std::size_t>(Type),
                         std::tuple<std::uint8_t, std::int8_t, std::uint16_t, std::int16_t, std::uint32_t,
                                    std::int32_t, std::int64_t, float, std::uint8_t>>;

/// Bytes of one element of a field of this type.
constexpr std::size_t fieldTypeWidth(FieldType type)
{
    switch (type) {
    case FieldType::u16:
    case FieldType::i16:
        return 2;
    case FieldType::u32:
    case FieldType::i32:
    case FieldType::f32:
        return 4;
    case FieldType::i64:
        return 8;
    default:
        return 1;
    }
}

namespace detail {
template <std::size_t... I> constexpr bool widthsMatchTypes(std::index_sequence<I...>)
{
    return ((fieldTypeWidth(FieldType(I)) == sizeof(FieldValueType<FieldType(I)>)) && ...);
}
} // namespace detail
static_assert(detail::widthsMatchTypes(std::make_index_sequence<std::size_t(FieldType::raw) + 1>{}));

/// "u8", "f32", "raw" ...: the type as the record tables write it.
std::string_view fieldTypeName(FieldType type);

/// One row of a record table as data: what a settings file, a logger or a test walks over.
struct FieldInfo
{
    const char* name;   ///< as in the record table
    std::size_t offset; ///< first byte, counted from the first payload byte
    FieldType type;
    std::size_t count; ///< elements (1 for a single value)
    double scale;      ///< stored = value × scale (1 where the value is stored as is)

    constexpr std::size_t width() const { return fieldTypeWidth(type); }
    constexpr std::size_t size() const { return count * width(); }
    constexpr std::size_t end() const { return offset + size(); }
};

/// A memory or answer record as a type of its own: the bytes of record `Record` (a record's tag,
/// which gives its size). Fields fit only their own record's images, whatever the sizes.
template <class Record> struct RecordImage : ByteImage<Record::kSize>
{
    RecordImage() = default;
    /// Bytes of the record's size taken as this record (a file's or a frame's payload).
    RecordImage(const ByteImage<Record::kSize>& bytes) : ByteImage<Record::kSize>(bytes) {}
};

/// A field of record `Record`: the typed handle that get() and set() take. It can only be built at
/// compile time and only inside its record, and it only fits images of its own record.
template <class Record, FieldType Type> struct Field
{
    using value_type = FieldValueType<Type>;
    static constexpr FieldType type = Type;
    static constexpr std::size_t width = sizeof(value_type);

    std::size_t offset;
    std::size_t count;
    const char* name;
    double scale;

    consteval Field(std::size_t offset_, std::size_t count_, const char* name_, double scale_)
        : offset(offset_), count(count_), name(name_), scale(scale_)
    {
        // A throw in a consteval constructor stops the build: a table row that leaves its record
        // cannot exist.
        if (count == 0 || offset + count * width > Record::kSize)
            throw "field outside its record";
    }

    /// Byte offset of element `index`.
    constexpr std::size_t at(std::size_t index) const { return offset + index * width; }
    constexpr std::size_t end() const { return offset + count * width; }
};

/// Element `index` of `field`. An index past the field reads 0 and never touches the bytes after it.
template <class R, FieldType T>
typename Field<R, T>::value_type get(const RecordImage<R>& image, const Field<R, T>& field,
                                     std::size_t index = 0)
{
    using V = typename Field<R, T>::value_type;
    if (index >= field.count)
        return V{};
    return image.template get<V>(field.at(index));
}

/// Stores element `index` of `field`, little-endian. An index past the field writes nothing.
template <class R, FieldType T>
void set(RecordImage<R>& image, const Field<R, T>& field, std::size_t index,
         typename Field<R, T>::value_type value)
{
    if (index >= field.count)
        return;
    image.set(field.at(index), value);
}

/// Stores a single-valued field (element 0).
template <class R, FieldType T>
void set(RecordImage<R>& image, const Field<R, T>& field, typename Field<R, T>::value_type value)
{
    set(image, field, 0, value);
}

} // namespace kvam
