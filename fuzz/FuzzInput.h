#pragma once

// Reading a fuzzer's input piece by piece: what runs out reads as zeros.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace kvam::fuzz {

class Input
{
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    std::size_t left() const { return m_size - m_pos; }

    std::uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }
    std::uint16_t u16()
    {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }
    std::uint64_t u64()
    {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= std::uint64_t(byte()) << (8 * i);
        return v;
    }
    /// Up to `count` bytes, fewer when the input ends first.
    QByteArray bytes(std::size_t count)
    {
        const std::size_t n = count < left() ? count : left();
        QByteArray out(reinterpret_cast<const char*>(m_data + m_pos), static_cast<qsizetype>(n));
        m_pos += n;
        return out;
    }
    QByteArray rest() { return bytes(left()); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

/// A broken property: libFuzzer keeps the input that got here.
[[noreturn]] inline void fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}

} // namespace kvam::fuzz

#define KVAM_FUZZ_CHECK(condition)                                                                           \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::kvam::fuzz::fail(#condition, __FILE__, __LINE__);                                              \
    } while (false)
