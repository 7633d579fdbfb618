#pragma once
// The delivery cycle: log in or register until the installation holds a client
// identity, then fetch the channel feed from the first server that answers and
// merge it into the current feed. Plain C++ on the UI thread; the desktop is
// reached through DeliveryUi, the network through Transfer.

#include <cstdint>
#include <string>
#include <vector>

#include "core/delivery/clock.h"
#include "core/delivery/delivery_ui.h"
#include "core/delivery/error_table.h"
#include "core/delivery/fetch_result.h"
#include "core/delivery/request_urls.h"
#include "core/delivery/transfer.h"
#include "core/feed/feed_channel.h"

namespace velmora {

// What a cycle tells its caller.
enum class CycleResult {
    NothingNew,  // no failure and no news (also: login/registration done)
    News,        // the channel fetch found a new or changed item
    Redirected,  // a login or registration was answered with a redirect
    Failed,      // the error is current in the ErrorState
};

// The largest whole number of minutes whose milliseconds fit in 32 bits.
inline constexpr std::uint32_t kMaxPollMinutes = 71582;

// The poll timer's interval for a stored `Reread`: kept between one minute and
// kMaxPollMinutes, so that 0 or an overflowing product cannot make it spin.
std::uint32_t PollIntervalMs(std::uint32_t rereadMinutes);

// The settings the cycle works with, as the tool sheet holds them in memory.
struct DeliverySettings {
    RequestIdentity identity;                 // client, group, company, delivery number, channel
    std::uint32_t pollMinutes = 60;           // Reread, as stored (unclamped)
    std::vector<std::string> channelServers;  // server1, server2; empty entries are skipped
    std::uint32_t timeoutSeconds = 0;         // timeout
};

// Reads what the tool sheet reads at construction and initialisation, each
// value with its default when it cannot be read.
DeliverySettings ReadDeliverySettings();

// The two prompts of the delivery number dialog (CP932).
std::string DeliveryNumberPrompt();  // "配信番号を入力してください。"
std::string
WrongDeliveryNumberPrompt();  // "配信番号に誤りがあります。正しい番号を入力してください。"

class DeliveryCycle {
  public:
    // `ui`, `errors`, `transfer` and `clock` must outlive the cycle.
    DeliveryCycle(DeliveryUi& ui, ErrorState& errors, Transfer& transfer, const Clock& clock,
                  DeliverySettings settings, ItemColors colors = {});
    DeliveryCycle(const DeliveryCycle&) = delete;
    DeliveryCycle& operator=(const DeliveryCycle&) = delete;

    // The caller runs it only while Busy() is false. 0, 1, 2 or 3.
    CycleResult RunDeliveryCycle();
    // 0, 1 or 3.
    CycleResult FetchChannel();
    // 0, 2 or 3. `registerWithDeliveryNo`: registration instead of login.
    CycleResult LoginOrRegister(bool registerWithDeliveryNo);
    // Clears `target`, then tries each non-empty server + query in order until
    // one attempt does not fail. 0 when the list holds no address.
    FetchResult TryServers(const std::vector<std::string>& servers, const std::string& query,
                           FeedChannel& target);

    bool Busy() const { return busy_; }
    bool FirstFetch() const { return firstFetch_; }

    // The feed the popup shows and the item store saves.
    FeedChannel& Current() { return current_; }
    const FeedChannel& Current() const { return current_; }
    // Receives every download; emptied after a channel fetch.
    const FeedChannel& Incoming() const { return incoming_; }

    DeliverySettings& Settings() { return settings_; }
    const DeliverySettings& Settings() const { return settings_; }

  private:
    void ShowError();
    // True, with the "no servers" error standing, when no server is known
    // because the machine-wide settings cannot be used.
    bool NoServerForDamagedSettings(const std::vector<std::string>& servers);
    // Writes the identity in memory to the user's settings; a failure is told.
    void StoreIdentity();
    // True, with error 58 standing, when the settings could not give `issuedId`
    // back whole: stored, it would read as absent and every start log in again.
    bool RefuseUnstorableId(const std::string& issuedId);

    DeliveryUi& ui_;
    ErrorState& errors_;
    Transfer& transfer_;
    const Clock& clock_;
    DeliverySettings settings_;
    FeedChannel current_;
    FeedChannel incoming_;
    bool busy_ = false;
    bool firstFetch_ = true;
    bool identityUnstored_ = false;  // in memory only: every cycle tries to store it again
    bool identityFailureTold_ = false;
    bool unstorableIdTold_ = false;
};

}  // namespace velmora
