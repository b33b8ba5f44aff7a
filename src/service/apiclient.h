#pragma once

#include "service/apierror.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QString>

#include <chrono>
#include <optional>

namespace quorlin {

// The JSON client of the maker's web service: signed POST requests, replies mapped to records or
// to APIError. Lives on the thread that created it (the main thread for the shared instance).
class APIClient {
public:
    static constexpr auto baseURL = "https://api.quorlin.app";

    static APIClient &shared();

    // Tests point the client at a local server and may shorten the timeout.
    explicit APIClient(QString baseURL = QString::fromLatin1(APIClient::baseURL),
                       std::chrono::milliseconds timeout = std::chrono::seconds(60));

    // Sends `body` as JSON to base URL + path and decodes the 2xx reply with Reply::fromJson
    // (which returns the record or throws APIError::decoding).
    template <typename Reply> QCoro::Task<Reply> post(QString path, QJsonObject body)
    {
        const QByteArray data = co_await postData(std::move(path), std::move(body));
        co_return Reply::fromJson(decodeObject(data));
    }

    // Sends the request and returns the body of a 2xx reply; any other outcome throws APIError.
    QCoro::Task<QByteArray> postData(QString path, QJsonObject body);

    // The reply body as a JSON object, or APIError::decoding.
    [[nodiscard]] static QJsonObject decodeObject(const QByteArray &data);

private:
    QString m_baseURL;
    std::chrono::milliseconds m_timeout;
    QNetworkAccessManager m_session;
};

} // namespace quorlin
