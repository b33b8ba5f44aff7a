#pragma once

#include <QString>

namespace quorlin {

// The per-install identifier carried in request tokens.
class UserIdentityManager {
public:
    static UserIdentityManager &shared();

    static constexpr auto defaultsKey = "quorlin.deviceID";

    // The stored identifier; a missing or empty one is replaced by a new upper-case UUID and stored.
    [[nodiscard]] QString deviceID() const;
};

} // namespace quorlin
