#include "core/delivery/delivery_cycle.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "core/delivery/feed_fetcher.h"
#include "core/delivery/signing.h"
#include "core/settings/registry.h"
#include "core/settings/settings.h"
#include "core/text/cp932.h"

namespace velmora {
namespace {

// What a login or registration tells its caller: it never brings news.
CycleResult AccountCycleResult(FetchResult fetched) {
    switch (fetched) {
        case FetchResult::Ok:
            return CycleResult::NothingNew;
        case FetchResult::Redirected:
            return CycleResult::Redirected;
        case FetchResult::Failed:
            break;
    }
    return CycleResult::Failed;
}

// The busy flag is down again however the request ends, so that no later
// trigger is skipped for good.
class BusyScope {
  public:
    explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& busy_;
};

}  // namespace

std::uint32_t PollIntervalMs(std::uint32_t rereadMinutes) {
    return std::clamp<std::uint32_t>(rereadMinutes, 1, kMaxPollMinutes) * 60000u;
}

DeliverySettings ReadDeliverySettings() {
    DeliverySettings s;
    RequestIdentity& id = s.identity;
    s.pollMinutes = settings::kRereadDefault;
    CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, settings::kReread, s.pollMinutes);
    id.company = settings::kCompanyDefault;
    CRegistryKey::ReadString(RootKey::LocalMachine, kSettingsKey, settings::kCompany, id.company);
    id.channel = settings::kChannelDefault;
    CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, id.channel);
    CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, settings::kDeliveryNo,
                             id.deliveryNo);
    CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, settings::kGroupId, id.groupId);
    CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, settings::kGroupPassword,
                             id.groupPassword);
    CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, settings::kClientId, id.clientId);
    CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, settings::kClientPassword,
                             id.clientPassword);
    s.channelServers = ChannelServerList();
    s.timeoutSeconds = settings::kTimeoutDefault;
    CRegistryKey::ReadDword(RootKey::LocalMachine, kSettingsKey, settings::kTimeout,
                            s.timeoutSeconds);
    return s;
}

std::string DeliveryNumberPrompt() {
    return text::Utf8ToCp932("配信番号を入力してください。");
}

std::string WrongDeliveryNumberPrompt() {
    return text::Utf8ToCp932("配信番号に誤りがあります。正しい番号を入力してください。");
}

DeliveryCycle::DeliveryCycle(DeliveryUi& ui, ErrorState& errors, Transfer& transfer,
                             const Clock& clock, DeliverySettings settings, ItemColors colors)
    : ui_(ui),
      errors_(errors),
      transfer_(transfer),
      clock_(clock),
      settings_(std::move(settings)),
      current_(colors),
      incoming_(colors) {}

CycleResult DeliveryCycle::RunDeliveryCycle() {
    RequestIdentity& id = settings_.identity;
    if (NoServerForDamagedSettings(id.clientId.empty() ? AccountServerList()
                                                       : settings_.channelServers))
        return CycleResult::Failed;
    if (!id.clientId.empty()) {
        ui_.StopPollTimer();
        const CycleResult result = FetchChannel();
        if (identityUnstored_ && result != CycleResult::Failed) StoreIdentity();
        return result;
    }
    if (id.company == "0") return LoginOrRegister(false);

    const std::string prompt = errors_.Code() == kErrorAuthentication ? WrongDeliveryNumberPrompt()
                                                                      : DeliveryNumberPrompt();
    DeliveryNumberAnswer answer = ui_.AskDeliveryNumber(prompt, id.deliveryNo);
    if (!answer.accepted || answer.deliveryNo.empty() || answer.deliveryPassword.empty()) {
        errors_.ReportError(kErrorAuthentication, 0);
        ShowError();
        return CycleResult::Failed;
    }

    id.deliveryNo = std::move(answer.deliveryNo);
    id.deliveryPassword = std::move(answer.deliveryPassword);
    const CycleResult result = LoginOrRegister(true);
    if (result == CycleResult::Failed) {
        // No server could be reached: the number may be right, so do not ask again.
        if (errors_.Code() != kErrorServerNotFound) {
            errors_.ReportError(kErrorAuthentication, 0);
            ui_.PostTrayClick();
        }
    } else {
        CRegistryKey::WriteUserString(kSettingsKey, settings::kDeliveryNo, id.deliveryNo);
    }
    return result;
}

CycleResult DeliveryCycle::FetchChannel() {
    ui_.SetTrayImage(TrayImage::Communicating);
    BusyScope busy(busy_);

    const std::string query = BuildChannelQuery(settings_.identity, clock_);
    const FetchResult fetched = TryServers(settings_.channelServers, query, incoming_);

    CycleResult result = CycleResult::NothingNew;
    if (fetched != FetchResult::Failed) {
        // A loaded document, or an empty one when no server is configured,
        // replaces the current feed; a redirect (captive portal, proxy) keeps
        // items and read marks.
        if (fetched == FetchResult::Ok) {
            result =
                MergeReadMarks(current_, incoming_) ? CycleResult::News : CycleResult::NothingNew;
            current_.swap(incoming_);
        }
        incoming_.Clear();
        ui_.StartPollTimer(PollIntervalMs(settings_.pollMinutes));
        ui_.SetTrayImage(TrayImage::Normal);
    } else if (firstFetch_) {
        ui_.SetTrayImage(TrayImage::Normal);
        errors_.ReportError(0, 0);
        ui_.StartPollTimer(PollIntervalMs(settings_.pollMinutes));
    } else {
        ShowError();
        result = CycleResult::Failed;
    }

    firstFetch_ = false;
    return result;
}

CycleResult DeliveryCycle::LoginOrRegister(bool registerWithDeliveryNo) {
    const std::vector<std::string> servers = AccountServerList();
    ui_.SetTrayImage(TrayImage::Communicating);
    BusyScope busy(busy_);

    RequestIdentity& id = settings_.identity;
    std::string token;
    const std::string query = registerWithDeliveryNo ? BuildRegistrationQuery(id, clock_, token)
                                                     : BuildLoginQuery(id, clock_, token);
    const FetchResult fetched = TryServers(servers, query, incoming_);

    if (fetched == FetchResult::Failed) {
        ShowError();
        return CycleResult::Failed;
    }
    const std::string issuedId = incoming_.IssuedId();
    if (RefuseUnstorableId(issuedId)) return CycleResult::Failed;
    if (!issuedId.empty()) {
        id.clientId = issuedId;
        id.clientPassword = ClientPassword(issuedId, incoming_.IssuedKey(), token);
        identityUnstored_ = true;
        // Without this nothing would fetch the channel until the user clicks.
        ui_.StartPollTimer(PollIntervalMs(settings_.pollMinutes));
    }
    ui_.SetTrayImage(TrayImage::Normal);
    if (identityUnstored_) StoreIdentity();
    return AccountCycleResult(fetched);
}

FetchResult DeliveryCycle::TryServers(const std::vector<std::string>& servers,
                                      const std::string& query, FeedChannel& target) {
    FeedFetcher fetcher(transfer_, errors_, settings_.timeoutSeconds);
    target.Clear();
    FetchResult result = FetchResult::Ok;
    for (const std::string& server : servers) {
        if (server.empty()) continue;
        try {
            result = fetcher.FetchFeed(server + query, target);
        } catch (const std::exception&) {
            // Whatever went wrong, this attempt failed and the next server gets its turn.
            target.Clear();
            errors_.ReportError(kErrorServerNotFound, 0);
            result = FetchResult::Failed;
        }
        if (result != FetchResult::Failed) {
            errors_.ReportError(0, 0);
            break;
        }
    }
    return result;
}

bool DeliveryCycle::NoServerForDamagedSettings(const std::vector<std::string>& servers) {
    if (std::any_of(servers.begin(), servers.end(),
                    [](const std::string& server) { return !server.empty(); }) ||
        !SettingsUnusable(RootKey::LocalMachine))
        return false;
    errors_.ReportError(kErrorServerNotFound, 0);
    ShowError();
    return true;
}

void DeliveryCycle::StoreIdentity() {
    const RequestIdentity& id = settings_.identity;
    // One rewrite: an identity stored without its password would fail every fetch.
    const long status = CRegistryKey::WriteUserStrings(
        kSettingsKey,
        {{settings::kClientId, id.clientId}, {settings::kClientPassword, id.clientPassword}});
    identityUnstored_ = status != kRegOk;
    if (!identityUnstored_) return;
    // Otherwise every start would log in again and be issued yet another identity.
    if (!identityFailureTold_) {
        std::fprintf(stderr,
                     "velmora: %s: the client identity could not be stored (%s); it is used "
                     "until the program quits and the next start logs in again\n",
                     SettingsLocation(RootKey::CurrentUser).c_str(),
                     RegistryStatusText(status).c_str());
        identityFailureTold_ = true;
    }
    errors_.ReportError(kErrorWorkFile, 0);
    ShowError();
}

bool DeliveryCycle::RefuseUnstorableId(const std::string& issuedId) {
    if (issuedId.empty() || StringReadsBackWhole(issuedId)) return false;
    if (!unstorableIdTold_) {
        std::fprintf(stderr,
                     "velmora: %s: the service issued a client identity of %zu bytes that the "
                     "settings cannot give back whole (at most %zu bytes, no zero byte); it is "
                     "not stored and the login counts as failed\n",
                     SettingsLocation(RootKey::CurrentUser).c_str(), issuedId.size(),
                     kMaxStringValueBytes);
        unstorableIdTold_ = true;
    }
    // The answer cannot be used, as a document that does not load.
    errors_.ReportError(kErrorServerNotFound, 0);
    ShowError();
    return true;
}

void DeliveryCycle::ShowError() {
    ui_.SetTrayImage(TrayImage::Error);
    ui_.SetTrayTip(errors_.Title());
}

}  // namespace velmora
