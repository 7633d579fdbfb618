#include "core/delivery/request_urls.h"

#include "core/delivery/signing.h"
#include "core/settings/registry.h"
#include "core/settings/settings.h"

namespace velmora {

namespace {

// A value's bytes that the service would read as query syntax: the separators
// of pieces and of name and value, the escape character and the plus sign that
// form decoding turns into a blank. Each is written as %XX so that the service
// decodes exactly the bytes that were signed. What cannot stand in an address
// at all (blanks, quotes, CP932 bytes) is left to the transfer, as is the rest
// of the query. No CP932 trail byte lies in this range, so no character is split.
bool ChangesTheQuery(char c) {
    return c == '%' || c == '&' || c == '=' || c == '+' || c == ';' || c == '#';
}

std::string QueryValue(const std::string& value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (!ChangesTheQuery(c)) {
            out.push_back(c);
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out.push_back('%');
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0x0F]);
    }
    return out;
}

// "&lumoid=<value>" when the machine-wide LuMoLoginID reads and is not empty.
// Read for every request: it is never kept in memory.
std::string LoginIdPiece() {
    std::string loginId;
    if (CRegistryKey::ReadString(RootKey::LocalMachine, kSettingsKey, settings::kLuMoLoginId,
                                 loginId) != kRegOk ||
        loginId.empty()) {
        return {};
    }
    return "&lumoid=" + QueryValue(loginId);
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

    std::string query = "?channelID=" + QueryValue(identity.channel);
    query += "&gid=";
    query += QueryValue(identity.groupId);
    query += "&cid=";
    query += QueryValue(identity.clientId);
    const RequestTime time = ReadRequestTime(clock);
    AppendTimeAndToken(query, time,
                       ChannelToken(identity.clientId, identity.clientPassword, time.signingTime));
    return query;
}

std::string BuildLoginQuery(const RequestIdentity& identity, const Clock& clock,
                            std::string& token) {
    std::string query = "?gid=" + QueryValue(identity.groupId);
    query += LoginIdPiece();
    const RequestTime time = ReadRequestTime(clock);
    token = LoginToken(identity.groupId, identity.groupPassword, time.signingTime);
    AppendTimeAndToken(query, time, token);
    return query;
}

std::string BuildRegistrationQuery(const RequestIdentity& identity, const Clock& clock,
                                   std::string& token) {
    std::string query = "?com=" + QueryValue(identity.company);
    query += "&del=";
    query += QueryValue(identity.deliveryNo);
    query += "&gid=";
    query += QueryValue(identity.groupId);
    query += LoginIdPiece();
    const RequestTime time = ReadRequestTime(clock);
    token = RegistrationToken(identity.deliveryNo, identity.deliveryPassword, identity.company,
                              identity.groupId, identity.groupPassword, time.signingTime);
    AppendTimeAndToken(query, time, token);
    return query;
}

}  // namespace velmora
