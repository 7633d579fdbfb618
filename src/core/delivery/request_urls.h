#pragma once
// The query texts of the three service requests (channel feed, login,
// registration). A full request address is a server value followed directly by
// one of these texts. A value's bytes that would read as query syntax (% & = + ; #)
// are percent-encoded; the tokens are computed over the values as they are. The
// time offset's plus sign is escaped, and the time stands between two literal
// double quotes.

#include <string>

#include "core/delivery/clock.h"
#include "core/settings/settings.h"

namespace velmora {

// The tool sheet's in-memory copies of the settings that requests use (CP932 texts).
struct RequestIdentity {
    std::string channel;
    std::string groupId;
    std::string groupPassword;
    std::string clientId;
    std::string clientPassword;
    std::string company = settings::kCompanyDefault;
    std::string deliveryNo;
    std::string deliveryPassword;  // as typed with the delivery number; memory only, never stored
};

// ?channelID=…&gid=…&cid=…&time="…"&auth=<ChannelToken>
// Channel is read again from the settings each time (per user, then machine-wide,
// empty when neither holds it) and the fresh value replaces identity.channel.
std::string BuildChannelQuery(RequestIdentity& identity, const Clock& clock);

// ?gid=…[&lumoid=…]&time="…"&auth=<LoginToken>; `token` receives the LoginToken
// so that the client password can later be derived from exactly what was sent.
std::string BuildLoginQuery(const RequestIdentity& identity, const Clock& clock,
                            std::string& token);

// ?com=…&del=…&gid=…[&lumoid=…]&time="…"&auth=<RegistrationToken>; `token` as above.
// The delivery password enters only the token, never the query.
std::string BuildRegistrationQuery(const RequestIdentity& identity, const Clock& clock,
                                   std::string& token);

}  // namespace velmora
