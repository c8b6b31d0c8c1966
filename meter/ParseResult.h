#pragma once

#include <QString>

#include <optional>

namespace kvam {

/// A parsed value or the reason it could not be parsed.
template <typename T> struct ParseResult
{
    std::optional<T> value;
    QString error;

    explicit operator bool() const { return value.has_value(); }
};

} // namespace kvam
