#include "model/backupinfo.h"

#include "model/rawvalues.h"
#include "support/displayformat.h"

namespace quorlin {

namespace {
constexpr RawValueTable<BackupInfo::Source, 2> sourceNames{{
    {BackupInfo::Source::appManaged, "appManaged"},
    {BackupInfo::Source::finder, "finder"},
}};
} // namespace

QString BackupInfo::displayLabel() const
{
    return deviceName + QStringLiteral(" \u2014 ") + DisplayFormat().mediumDateShortTime(backupDate);
}

QString toRawValue(BackupInfo::Source source)
{
    return rawValueOf(sourceNames, source);
}

std::optional<BackupInfo::Source> sourceFromRawValue(const QString &raw)
{
    return caseFromRawValue(sourceNames, raw);
}

} // namespace quorlin
