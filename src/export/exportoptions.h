#pragma once

#include <QString>

#include <array>
#include <optional>

namespace quorlin {

// The four export formats, in the order the export sheet shows them.
enum class ExportFormat { pdf, csv, text, html };

inline constexpr std::array<ExportFormat, 4> allExportFormats{ExportFormat::pdf, ExportFormat::csv,
                                                              ExportFormat::text, ExportFormat::html};

// Display name: "PDF", "CSV", "Text", "HTML".
[[nodiscard]] QString toRawValue(ExportFormat format);
[[nodiscard]] std::optional<ExportFormat> exportFormatFromRawValue(const QString &raw);

// The conversation view's display switches at the moment an export starts.
struct ExportOptions {
    bool hideDates = false;
    bool inkSaving = false;
    bool showContactInIndividual = false;
};

} // namespace quorlin
