#include "core/delivery/request_urls.h"

#include "core/delivery/signing.h"
#include "core/settings/registry.h"
#include "core/settings/settings.h"

namespace velmora {

namespace {

// "&lumoid=<value>" when the machine-wide LuMoLoginID reads and is not empty.
// Read for every request: it is never kept in memory.
std::string LoginIdPiece() {
    std::string loginId;
    if (CRegistryKey::ReadString(RootKey::LocalMachine, kSettingsKey, settings::kLuMoLoginId,
                                 loginId) != kRegOk ||
        loginId.empty()) {
        return {};
    }
    return "&lumoid=" + loginId;
}

// The two last pieces of every query: the quoted query time and the token.
void AppendTimeAndToken(std::string& query, const RequestTime& time, const std::string& token) {
    query += "&time=\"";
    query += time.queryTime;
    query += "\"&auth=";
    query += token;
}

}  // namespace

std::string BuildChannelQuery(RequestIdentity& identity, const Clock& clock) {
    // Reread so that a channel change in the settings applies without a restart.
    // A value removed from both hives reads as empty, never as the old copy.
    std::string channel = settings::kChannelDefault;
    CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, channel);
    identity.channel = channel;

    std::string query = "?channelID=" + identity.channel;
    query += "&gid=";
    query += identity.groupId;
    query += "&cid=";
    query += identity.clientId;
    const RequestTime time = ReadRequestTime(clock);
    AppendTimeAndToken(query, time,
                       ChannelToken(identity.clientId, identity.clientPassword, time.signingTime));
    return query;
}

std::string BuildLoginQuery(const RequestIdentity& identity, const Clock& clock,
                            std::string& token) {
    std::string query = "?gid=" + identity.groupId;
    query += LoginIdPiece();
    const RequestTime time = ReadRequestTime(clock);
    token = LoginToken(identity.groupId, identity.groupPassword, time.signingTime);
    AppendTimeAndToken(query, time, token);
    return query;
}

std::string BuildRegistrationQuery(const RequestIdentity& identity, const Clock& clock,
                                   std::string& token) {
    std::string query = "?com=" + identity.company;
    query += "&del=";
    query += identity.deliveryNo;
    query += "&gid=";
    query += identity.groupId;
    query += LoginIdPiece();
    const RequestTime time = ReadRequestTime(clock);
    token = RegistrationToken(identity.deliveryNo, identity.deliveryPassword, identity.company,
                              identity.groupId, identity.groupPassword, time.signingTime);
    AppendTimeAndToken(query, time, token);
    return query;
}

}  // namespace velmora
