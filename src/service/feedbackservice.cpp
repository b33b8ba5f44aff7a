#include "service/feedbackservice.h"

#include <QFile>
#include <QSysInfo>

namespace quorlin {

QJsonObject FeedbackService::Request::toJson() const
{
    QJsonObject object{
        {QStringLiteral("email"), email},
        {QStringLiteral("message"), message},
        {QStringLiteral("app_version"), appVersion},
        {QStringLiteral("os_version"), osVersion},
        {QStringLiteral("platform"), platform},
    };
    if (logFilename && logContentBase64) {
        object.insert(QStringLiteral("log_filename"), *logFilename);
        object.insert(QStringLiteral("log_content_b64"), *logContentBase64);
    }
    return object;
}

FeedbackService::Response FeedbackService::Response::fromJson(const QJsonObject &object)
{
    const QJsonValue ok = object.value(QStringLiteral("ok"));
    if (ok.isUndefined())
        throw APIError::decoding(QStringLiteral("The reply has no value for the key \"ok\"."));
    if (!ok.isBool())
        throw APIError::decoding(QStringLiteral("The value for the key \"ok\" is not a Boolean."));
    return Response{ok.toBool()};
}

QString FeedbackService::appVersion()
{
    static const QString version =
        QStringLiteral("%1 (%2)").arg(QStringLiteral(QUORLIN_VERSION), QStringLiteral(QUORLIN_BUILD_NUMBER));
    return version;
}

QString FeedbackService::logFilename(const BackupInfo &backup)
{
    QString deviceName = backup.deviceName;
    deviceName.replace(QLatin1Char(' '), QLatin1Char('_'));
    return QStringLiteral("backup-") + deviceName + QLatin1Char('-') +
           backup.backupDate.toLocalTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
           QStringLiteral(".log");
}

FeedbackService::Request FeedbackService::makeRequest(const QString &email, const QString &message,
                                                      const std::optional<BackupInfo> &backup)
{
    Request request;
    request.email = email;
    request.message = message;
    request.appVersion = appVersion();
    request.osVersion = QSysInfo::prettyProductName();
    if (backup) {
        QFile log(backup->location + QStringLiteral("/backup.log"));
        if (log.exists()) {
            if (!log.open(QIODevice::ReadOnly))
                throw FileSystemError(log.errorString());
            const qint64 size = log.size();
            // Only the tail is sent: the end of a log says why a backup failed.
            if (size > maxLogBytes && !log.seek(size - maxLogBytes))
                throw FileSystemError(log.errorString());
            const QByteArray bytes = log.read(maxLogBytes);
            if (log.error() != QFileDevice::NoError)
                throw FileSystemError(log.errorString());
            request.logFilename = logFilename(*backup);
            request.logContentBase64 = QString::fromLatin1(bytes.toBase64());
        }
    }
    return request;
}

QCoro::Task<FeedbackService::Response> FeedbackService::send(QString email, QString message,
                                                             std::optional<BackupInfo> backup)
{
    const Request request = makeRequest(email, message, backup);
    co_return co_await m_client.post<Response>(QStringLiteral("/feedback"), request.toJson());
}

} // namespace quorlin
