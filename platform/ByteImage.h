#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kvam {

/// A fixed-size record as the meter sends it: raw bytes with little-endian typed access at named
/// offsets. Bytes nobody interprets travel untouched.
template <std::size_t N> class ByteImage
{
public:
    static constexpr std::size_t kSize = N;

    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* data() const { return m_bytes.data(); }
    static constexpr std::size_t size() { return N; }
    std::uint8_t& operator[](std::size_t i) { return m_bytes[i]; }
    std::uint8_t operator[](std::size_t i) const { return m_bytes[i]; }
    bool operator==(const ByteImage&) const = default;

    void fill(std::uint8_t v) { m_bytes.fill(v); }
    /// Copies exactly N bytes from `src` (the caller guarantees they are readable).
    void copyFrom(const std::uint8_t* src) { std::memcpy(m_bytes.data(), src, N); }

    template <typename T> T get(std::size_t offset) const
    {
        static_assert(std::is_trivially_copyable_v<T>);
        static_assert(std::endian::native == std::endian::little, "records are little-endian");
        T v;
        std::memcpy(&v, m_bytes.data() + offset, sizeof(T));
        return v;
    }
    template <typename T> void set(std::size_t offset, T v)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        std::memcpy(m_bytes.data() + offset, &v, sizeof(T));
    }

    std::uint8_t u8(std::size_t o) const { return m_bytes[o]; }
    std::uint16_t u16(std::size_t o) const { return get<std::uint16_t>(o); }
    std::int16_t i16(std::size_t o) const { return get<std::int16_t>(o); }
    std::uint32_t u32(std::size_t o) const { return get<std::uint32_t>(o); }
    std::int64_t i64(std::size_t o) const { return get<std::int64_t>(o); }
    float f32(std::size_t o) const { return get<float>(o); }

private:
    std::array<std::uint8_t, N> m_bytes{};
};

} // namespace kvam
