#pragma once

#include "model/backupinfo.h"
#include "service/apiclient.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace quorlin {

// Assembles a feedback request, with the tail of a snapshot's "backup.log" when one is chosen,
// and sends it to the service's "/feedback" path.
class FeedbackService {
public:
    static constexpr qint64 maxLogBytes = 15000000;

    struct Request {
        QString email;
        QString message;
        QString appVersion;
        QString osVersion;
        QString platform = QStringLiteral("mac");
        std::optional<QString> logFilename;
        std::optional<QString> logContentBase64;

        [[nodiscard]] QJsonObject toJson() const;
    };

    struct Response {
        bool ok = false;
        // Throws APIError::decoding when "ok" is missing or not a Boolean.
        static Response fromJson(const QJsonObject &object);
    };

    explicit FeedbackService(APIClient &client = APIClient::shared()) : m_client(client) {}

    // Throws APIError, or FileSystemError when the chosen log cannot be read (nothing is sent then).
    QCoro::Task<Response> send(QString email, QString message, std::optional<BackupInfo> backup);

    // Builds the request without sending it.
    [[nodiscard]] static Request makeRequest(const QString &email, const QString &message,
                                             const std::optional<BackupInfo> &backup);

    // "backup-<device name, spaces as _>-<yyyy-MM-dd_HH-mm-ss>.log"
    [[nodiscard]] static QString logFilename(const BackupInfo &backup);
    // Short version and build number: "0.1.0 (1)".
    [[nodiscard]] static QString appVersion();

private:
    APIClient &m_client;
};

} // namespace quorlin
