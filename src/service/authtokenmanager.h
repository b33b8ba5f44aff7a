#pragma once

#include <QDateTime>
#include <QString>

namespace quorlin {

// Builds the bearer token of every request: Base64 of "seconds:deviceID:signature", where the
// signature is the Base64 HMAC-SHA256 of "seconds:deviceID" under the built-in key.
class AuthTokenManager {
public:
    [[nodiscard]] static QString token();
    // The same, for a given instant and identifier.
    [[nodiscard]] static QString token(const QDateTime &now, const QString &deviceID);

    static constexpr auto signingKey = "pqtrwvxkmn305bcd941G28y3u7ha";
};

} // namespace quorlin
