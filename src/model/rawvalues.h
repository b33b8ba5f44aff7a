#pragma once

#include <QString>

#include <array>
#include <optional>
#include <utility>

namespace quorlin {

// A fixed table of enumeration cases and their text raw values, read in both directions.
template <typename Enum, std::size_t N> using RawValueTable = std::array<std::pair<Enum, const char *>, N>;

template <typename Enum, std::size_t N> QString rawValueOf(const RawValueTable<Enum, N> &table, Enum value)
{
    for (const auto &[candidate, name] : table) {
        if (candidate == value)
            return QString::fromLatin1(name);
    }
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> caseFromRawValue(const RawValueTable<Enum, N> &table, const QString &raw)
{
    for (const auto &[candidate, name] : table) {
        if (raw == QLatin1String(name))
            return candidate;
    }
    return std::nullopt;
}

} // namespace quorlin
