#include "service/apiclient.h"

#include "service/authtokenmanager.h"

#include <QCoroNetworkReply>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace quorlin {

namespace {

// The message of an error reply: "detail" when present, else "error", else none.
std::optional<QString> errorMessage(const QByteArray &data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const char *key : {"detail", "error"}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull())
            continue;
        if (!value.isString())
            return std::nullopt; // a body of the wrong shape carries no message
        return value.toString();
    }
    return std::nullopt;
}

} // namespace

APIClient &APIClient::shared()
{
    static APIClient client;
    return client;
}

APIClient::APIClient(QString baseURL, std::chrono::milliseconds timeout)
    : m_baseURL(std::move(baseURL)), m_timeout(timeout)
{
}

QJsonObject APIClient::decodeObject(const QByteArray &data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        throw APIError::decoding(QStringLiteral("The reply is not valid JSON (%1 at offset %2).")
                                     .arg(error.errorString())
                                     .arg(error.offset));
    if (!document.isObject())
        throw APIError::decoding(QStringLiteral("The reply is not a JSON object."));
    return document.object();
}

QCoro::Task<QByteArray> APIClient::postData(QString path, QJsonObject body)
{
    const QUrl url(m_baseURL + path, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        throw APIError::invalidURL();

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("Authorization", "Bearer " + AuthTokenManager::token().toLatin1());
    request.setTransferTimeout(int(m_timeout.count()));
    const QByteArray payload = QJsonDocument(body).toJson(QJsonDocument::Compact);

    std::unique_ptr<QNetworkReply> reply(m_session.post(request, payload));
    // The whole exchange, not only each silent stretch, is bounded by the timeout.
    QTimer deadline;
    deadline.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&deadline, &QTimer::timeout, reply.get(), [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply.get(), &QNetworkReply::errorOccurred, reply.get(),
                     [&](QNetworkReply::NetworkError code) {
                         if (code == QNetworkReply::OperationCanceledError && !reply->isFinished())
                             timedOut = true;
                     });
    deadline.start(m_timeout);
    if (!reply->isFinished())
        co_await reply.get();
    deadline.stop();

    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid()) {
        // No HTTP reply at all: the transport failed.
        if (timedOut || reply->error() == QNetworkReply::OperationCanceledError ||
            reply->error() == QNetworkReply::TimeoutError)
            throw APIError::transport(QStringLiteral("The request timed out."));
        throw APIError::transport(reply->errorString());
    }
    const int status = statusAttribute.toInt();
    const QByteArray data = reply->readAll();
    if (status >= 200 && status <= 299)
        co_return data;
    throw APIError::http(status, errorMessage(data));
}

} // namespace quorlin
