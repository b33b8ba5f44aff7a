#include "export/exportoptions.h"

namespace quorlin {

QString toRawValue(ExportFormat format)
{
    switch (format) {
    case ExportFormat::pdf:
        return QStringLiteral("PDF");
    case ExportFormat::csv:
        return QStringLiteral("CSV");
    case ExportFormat::text:
        return QStringLiteral("Text");
    case ExportFormat::html:
        return QStringLiteral("HTML");
    }
    return {};
}

std::optional<ExportFormat> exportFormatFromRawValue(const QString &raw)
{
    for (ExportFormat format : allExportFormats) {
        if (toRawValue(format) == raw)
            return format;
    }
    return std::nullopt;
}

} // namespace quorlin
