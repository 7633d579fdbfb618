// The tool sheet's decisions against a desktop, a tray and a popup that
// record what they are asked, with a transfer answering from a table.

#include "core/shell/tool_sheet_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "core/feed/feed_channel.h"
#include "core/platform/files.h"
#include "core/settings/registry.h"
#include "core/shell/sheet_messages.h"
#include "core/text/cp932.h"
#include "support/delivery_fakes.h"
#include "support/fixed_clock.h"
#include "support/hive_sandbox.h"
#include "support/shell_fakes.h"

using namespace velmora;
using namespace velmora::test_support;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class RecordingDesktop final : public SheetDesktop {
  public:
    void PostToSheet(int message, int wParam, int lParam) override {
        posted.push_back({message, wParam, lParam});
    }
    void StartSheetTimer(int id, std::uint32_t intervalMs) override { timers[id] = intervalMs; }
    void StopSheetTimer(int id) override { timers.erase(id); }
    void RefreshErrorDialog() override {}
    void ShowErrorDialog() override { ++errorShows; }
    void HideErrorDialog() override {}
    void NotifyError(const std::string& title, const std::string& message) override {
        notes.push_back(text::Cp932ToUtf8(title) + "|" + text::Cp932ToUtf8(message));
    }
    void ShowToolSheet() override { ++sheetShows; }
    void ShowTrayMenu() override { ++menus; }
    void RunAboutDialog(const AboutFields& fields) override {
        abouts.push_back(fields);
        if (whileOpen) whileOpen();
    }
    void CloseAboutDialog() override {}
    DeliveryNumberAnswer RunDeliveryNumberDialog(const std::string& prompt,
                                                 const std::string& deliveryNo) override {
        prompts.push_back(text::Cp932ToUtf8(prompt));
        prefilled.push_back(deliveryNo);
        if (whileOpen) whileOpen();
        return answer;
    }
    void RaiseDeliveryNumberDialog() override { ++raises; }
    void CloseModalWindows() override { ++modalCloses; }
    void OpenAddress(const std::string& address) override { opened.push_back(address); }
    void FeedMayHaveChanged() override {}
    void CycleFinished(CycleResult result) override {
        cycles.push_back(result);
        order.push_back("cycle");
    }
    void StopAnsweringSecondStarts() override { order.push_back("deaf"); }
    bool SaveStoreAtEnd() override { return saveAtEnd; }
    void TellAtTheEnd(const std::string& title, const std::string& message) override {
        endNotes.push_back(text::Cp932ToUtf8(title) + "|" + text::Cp932ToUtf8(message));
    }
    void RunEnded() override { order.push_back("end"); }

    std::deque<std::array<int, 3>> posted;
    std::map<int, std::uint32_t> timers;  // the running ones
    int errorShows = 0;
    std::vector<std::string> notes;  // "title|message"
    int sheetShows = 0;
    int menus = 0;
    std::vector<AboutFields> abouts;
    std::vector<std::string> prompts;  // UTF-8
    std::vector<std::string> prefilled;
    DeliveryNumberAnswer answer;      // what every delivery number dialog gives
    std::function<void()> whileOpen;  // runs inside each modal dialog
    int raises = 0;
    int modalCloses = 0;
    std::vector<std::string> opened;
    std::vector<CycleResult> cycles;
    std::vector<std::string> order;
    bool saveAtEnd = true;
    std::vector<std::string> endNotes;  // "title|message"
};

constexpr const char* kChannelServer = "http://one.test/rss/channel.cgi";
constexpr const char* kUserIdentity = "\"ClientID\"=\"C1\"\n\"ClientPWD\"=\"secret\"\n";

class ToolSheetControllerTest : public HiveSandbox {
  protected:
    void Provision(const std::string& machineExtra = "",
                   const std::string& userLines = kUserIdentity) {
        WriteMachineKey(std::string("\"server1\"=\"") + kChannelServer +
                        "\"\n\"server3\"=\"http://acct.test/rss/account.cgi\"\n" + machineExtra);
        WriteUserKey(userLines);
    }

    static std::string Feed(int items) {
        std::vector<ChannelEntry> entries;
        for (int i = 0; i < items; ++i) entries.push_back({"item" + std::to_string(i), "2024"});
        return ChannelDocument(entries);
    }

    // Initialised, with its first UM_POLL handled.
    ToolSheetController& Started() {
        sheet_ = std::make_unique<ToolSheetController>(desktop_, network_, clock_);
        popup_.onPrepare = [this] { preparedAfterRequests_.push_back(network_.calls.size()); };
        sheet_->Start(&tray_, &popup_, root_ / "data" / "VELMORA.dat");
        Settle();
        return *sheet_;
    }

    // Hands the posted messages to the sheet, as the message loop does.
    void Settle() {
        for (int i = 0; i < 100 && !desktop_.posted.empty(); ++i) {
            const auto [message, wParam, lParam] = desktop_.posted.front();
            desktop_.posted.pop_front();
            sheet_->HandleMessage(message, wParam, lParam);
        }
    }

    void LeftClick() { sheet_->HandleMessage(message::UM_TRAYNOTIFY, kTrayIconId, kWmLButtonDown); }
    std::string Tip() const { return text::Cp932ToUtf8(trayRecord_.tip); }

    FakeTransfer network_;
    FixedClock clock_{kSampleInstant};
    RecordingDesktop desktop_;
    TrayRecord trayRecord_;
    RecordingTray tray_{trayRecord_};
    std::vector<std::string> popupLog_;
    RecordingPopup popup_{popupLog_};
    std::vector<std::size_t> preparedAfterRequests_;  // requests made before each PrepareOpen
    std::unique_ptr<ToolSheetController> sheet_;
};

}  // namespace

TEST_F(ToolSheetControllerTest, NewsSlidesThePopupInOrBlinks) {
    struct Case {
        const char* popupSetting;
        bool withoutTray;
        std::vector<std::string> popup;
        bool blinking;
    };
    const std::vector<Case> cases = {
        {"", false, {"showtab", "setchannel:2", "open"}, false},
        {"\"popup\"=dword:00000000\n", false, {"showtab", "setchannel:2"}, true},
        // Without a tray a blink would announce nothing.
        {"\"popup\"=dword:00000000\n", true, {"showtab", "setchannel:2", "open"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.popupSetting) + (c.withoutTray ? " without tray" : ""));
        Provision("", std::string(kUserIdentity) + c.popupSetting);
        network_ = FakeTransfer();
        network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
        trayRecord_ = TrayRecord();
        trayRecord_.withoutTray = c.withoutTray;
        popupLog_.clear();
        preparedAfterRequests_.clear();
        desktop_ = RecordingDesktop();
        Started();
        EXPECT_TRUE(trayRecord_.added);
        EXPECT_EQ(Tip(), "ヴェルモラ");
        EXPECT_EQ(trayRecord_.image, TrayImage::Normal);
        EXPECT_EQ(network_.calls.size(), 1u);
        EXPECT_THAT(desktop_.cycles, ElementsAre(CycleResult::News));
        EXPECT_EQ(popupLog_, c.popup);
        EXPECT_EQ(trayRecord_.blinking, c.blinking);
        // The popup that is to open gets ready once the cycle knows it.
        EXPECT_EQ(preparedAfterRequests_.size(), c.blinking ? 0u : 1u);
        EXPECT_EQ(desktop_.timers.at(kPollTimerId), 60u * 60000u);
    }
    // A tick of the poll timer posts UM_POLL; nothing new only hands over the feed.
    popupLog_.clear();
    sheet_->OnTimer(kPollTimerId);
    Settle();
    EXPECT_THAT(popupLog_, ElementsAre("setchannel:2"));
    EXPECT_EQ(desktop_.cycles.size(), 2u);
}

TEST_F(ToolSheetControllerTest, ClickStopsTheBlinkingAndFetchesTheNews) {
    Provision("", std::string(kUserIdentity) + "\"popup\"=dword:00000000\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    Started();
    ASSERT_TRUE(trayRecord_.blinking);
    trayRecord_.image = TrayImage::Blink;  // as the blinking icon may show
    popupLog_.clear();

    LeftClick();
    EXPECT_FALSE(trayRecord_.blinking);  // at once, before the posted UM_SHOWNEWS
    EXPECT_EQ(trayRecord_.image, TrayImage::Blink);
    Settle();
    EXPECT_EQ(trayRecord_.image, TrayImage::Normal);
    EXPECT_THAT(popupLog_, ElementsAre("foreground", "showtab", "setchannel:2", "open for user"));
    EXPECT_THAT(desktop_.cycles, ElementsAre(CycleResult::News, CycleResult::NothingNew));
    // The user's request opens the popup unless it fails: ready before the request.
    EXPECT_THAT(preparedAfterRequests_, ElementsAre(1u));
    EXPECT_EQ(desktop_.errorShows, 0);
}

TEST_F(ToolSheetControllerTest, ClickWhileARequestRunsStartsNoCycle) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    ToolSheetController& sheet = Started();
    popupLog_.clear();
    bool clicked = false;
    network_.during = [&](const std::string&) {
        if (clicked) return;
        clicked = true;
        LeftClick();
    };
    sheet.HandleMessage(message::UM_FETCHNEWS);
    Settle();
    // Only the foreground call, then the cycle's own hand-over; no further request.
    EXPECT_TRUE(clicked);
    EXPECT_EQ(network_.calls.size(), 2u);
    EXPECT_THAT(popupLog_, ElementsAre("foreground", "setchannel:2", "open for user"));
}

TEST_F(ToolSheetControllerTest, FailedFetchStandsUntilTheDialogIsClosed) {
    Provision();
    network_.Answer(kChannelServer, HeaderAnswer(404, "Not Found"));
    ToolSheetController& sheet = Started();
    // The first fetch after start fails quietly.
    EXPECT_EQ(sheet.Errors().Code(), 0);
    EXPECT_EQ(trayRecord_.image, TrayImage::Normal);
    EXPECT_TRUE(desktop_.timers.count(kPollTimerId));

    sheet.HandleMessage(message::UM_POLL);
    EXPECT_EQ(sheet.Errors().Code(), 404);
    EXPECT_EQ(trayRecord_.image, TrayImage::Error);
    EXPECT_EQ(Tip(), "通信エラー");
    EXPECT_FALSE(desktop_.timers.count(kPollTimerId));
    EXPECT_TRUE(desktop_.notes.empty());  // the tray shows it

    // The click shows the dialog; the cycle it starts succeeds and resets the error.
    network_.Replace(kChannelServer, BodyAnswer(Feed(1)));
    LeftClick();
    EXPECT_EQ(desktop_.errorShows, 1);
    Settle();
    EXPECT_EQ(sheet.Errors().Code(), 0);
    // The tooltip keeps the error's title until the dialog is closed.
    EXPECT_EQ(Tip(), "通信エラー");
    sheet.HandleMessage(message::UM_ERRORCLOSED);
    EXPECT_EQ(Tip(), "ヴェルモラ");
    EXPECT_EQ(trayRecord_.image, TrayImage::Normal);
    LeftClick();
    Settle();
    EXPECT_EQ(desktop_.errorShows, 1);
}

TEST_F(ToolSheetControllerTest, RejectedDeliveryNumberClickAsksAgainOnce) {
    Provision("\"Company\"=\"5\"\n", "\"DeliveryNo\"=\"D77\"\n");
    // The dialog's modal loop dispatches what is posted meanwhile.
    desktop_.whileOpen = [this] { Settle(); };
    ToolSheetController& sheet = Started();
    EXPECT_THAT(desktop_.prompts, ElementsAre("配信番号を入力してください。"));
    EXPECT_THAT(desktop_.prefilled, ElementsAre("D77"));
    EXPECT_EQ(sheet.Errors().Code(), kErrorAuthentication);
    EXPECT_EQ(trayRecord_.image, TrayImage::Error);
    EXPECT_EQ(Tip(), "認証エラー");

    // The click posts UM_SHOWNEWS twice; the first cycle asks with the
    // wrong-number prompt, the second finds the dialog open and raises it.
    LeftClick();
    Settle();
    ASSERT_EQ(desktop_.prompts.size(), 2u);
    EXPECT_EQ(desktop_.prompts[1], "配信番号に誤りがあります。正しい番号を入力してください。");
    EXPECT_EQ(desktop_.raises, 1);
    EXPECT_EQ(desktop_.errorShows, 0);
    EXPECT_TRUE(network_.calls.empty());
}

TEST_F(ToolSheetControllerTest, QuitDuringATransferLetsTheCycleUnwindFirst) {
    Provision("\"server2\"=\"http://two.test/rss/channel.cgi\"\n");
    network_.Answer(kChannelServer, FailedAnswer());
    network_.during = [this](const std::string&) { sheet_->RequestQuit(); };
    ToolSheetController& sheet = Started();
    // A second start is not handed to a copy that is going.
    EXPECT_THAT(desktop_.order, ElementsAre("deaf", "cycle", "end"));
    EXPECT_TRUE(sheet.Ended());
    EXPECT_TRUE(sheet.Saved());
    EXPECT_EQ(desktop_.modalCloses, 1);
    // The second server was not tried after the quit.
    EXPECT_EQ(network_.calls.size(), 1u);
    EXPECT_FALSE(trayRecord_.added);
    EXPECT_FALSE(desktop_.timers.count(kPollTimerId));
    // Nothing runs after the end.
    sheet.HandleMessage(message::UM_POLL);
    sheet.OnCommand(kCmdTool);
    sheet.RequestQuit();
    EXPECT_EQ(network_.calls.size(), 1u);
    EXPECT_EQ(desktop_.sheetShows, 0);
    EXPECT_THAT(desktop_.order, ElementsAre("deaf", "cycle", "end"));
}

TEST_F(ToolSheetControllerTest, AFailedLastSaveIsToldNamingTheStore) {
    Provision();
    network_.Answer(kChannelServer, FailedAnswer());
    ToolSheetController& sheet = Started();
    desktop_.saveAtEnd = false;
    sheet.RequestQuit();
    EXPECT_FALSE(sheet.Saved());
    EXPECT_THAT(desktop_.endNotes, ElementsAre("保存エラー|ニュースの保存に失敗しました。\n" +
                                               platform::PathText(root_ / "data" / "VELMORA.dat")));
    // A save that worked is not told.
    desktop_.endNotes.clear();
    desktop_.saveAtEnd = true;
    Started().RequestQuit();
    EXPECT_TRUE(desktop_.endNotes.empty());
}

TEST_F(ToolSheetControllerTest, NumberTypedWhileQuittingIsNotSent) {
    Provision("\"Company\"=\"5\"\n", "");
    desktop_.answer = {true, "D1", "pw"};
    desktop_.whileOpen = [this] { sheet_->RequestQuit(); };
    ToolSheetController& sheet = Started();
    EXPECT_TRUE(sheet.Ended());
    EXPECT_EQ(desktop_.prompts.size(), 1u);
    EXPECT_TRUE(network_.calls.empty());
}

TEST_F(ToolSheetControllerTest, NoServerKnownIsToldOnceAndStandsUntilClosed) {
    // No machine-wide settings at all.
    trayRecord_.withoutTray = true;
    ::testing::internal::CaptureStderr();
    ToolSheetController& sheet = Started();
    sheet.HandleMessage(message::UM_POLL);
    const std::string said = ::testing::internal::GetCapturedStderr();
    // The machine's hive file, or its registry key on Windows.
    const std::string where = SettingsLocation(RootKey::LocalMachine);
#ifndef _WIN32
    EXPECT_EQ(where, MachineHive().string());
#endif
    EXPECT_EQ(said, NoServerLine(where));
    EXPECT_THAT(said, HasSubstr("velmora --demo"));
    EXPECT_EQ(sheet.Errors().Code(), kErrorNoServer);
    EXPECT_EQ(trayRecord_.image, TrayImage::Error);
    EXPECT_EQ(Tip(), "サーバ未設定");
    ASSERT_EQ(desktop_.notes.size(), 1u);
    EXPECT_THAT(desktop_.notes[0], HasSubstr(where));
    EXPECT_THAT(desktop_.notes[0], HasSubstr("velmora --demo"));
    // Otherwise an empty server list behaves as it always did: no request.
    EXPECT_THAT(desktop_.cycles, ElementsAre(CycleResult::NothingNew, CycleResult::NothingNew));
    EXPECT_TRUE(network_.calls.empty());

    // Closed, it is not told again.
    sheet.HandleMessage(message::UM_ERRORCLOSED);
    ::testing::internal::CaptureStderr();
    sheet.HandleMessage(message::UM_POLL);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(sheet.Errors().Code(), 0);
    EXPECT_EQ(trayRecord_.image, TrayImage::Normal);
    EXPECT_EQ(desktop_.notes.size(), 1u);
}

#ifndef _WIN32
// A hive file only: the registry itself is never damaged this way.
TEST_F(ToolSheetControllerTest, DamagedMachineSettingsAreNotTakenForMissingOnes) {
    WriteBytes(MachineHive(), "not a hive\n");
    ::testing::internal::CaptureStderr();
    ToolSheetController& sheet = Started();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(sheet.Errors().Code(), kErrorServerNotFound);
    EXPECT_THAT(said, ::testing::Not(HasSubstr("no delivery server is set up")));
}
#endif

TEST_F(ToolSheetControllerTest, WithoutATrayTheNewsRequestShowsAStandingError) {
    Provision();
    network_.Answer(kChannelServer, HeaderAnswer(404, "Not Found"));
    ToolSheetController& sheet = Started();
    // With a tray the request shows nothing: a click on the icon does.
    sheet.HandleMessage(message::UM_SHOWNEWS);
    sheet.HandleMessage(message::UM_FETCHNEWS);
    Settle();
    EXPECT_EQ(sheet.Errors().Code(), 404);
    EXPECT_EQ(desktop_.errorShows, 0);

    trayRecord_.withoutTray = true;
    sheet.HandleMessage(message::UM_POLL);
    EXPECT_TRUE(desktop_.notes.empty());  // not new: no second announcement
    // A second start with --news: UM_SHOWNEWS, then UM_FETCHNEWS.
    sheet.HandleMessage(message::UM_SHOWNEWS);
    sheet.HandleMessage(message::UM_FETCHNEWS);
    Settle();
    EXPECT_EQ(desktop_.errorShows, 1);
    EXPECT_TRUE(desktop_.notes.empty());
    // A scheduled cycle does not show it.
    sheet.HandleMessage(message::UM_POLL);
    EXPECT_EQ(desktop_.errorShows, 1);
    // A new error without a tray is announced once.
    network_.Replace(kChannelServer, HeaderAnswer(401, "Unauthorized"));
    sheet.HandleMessage(message::UM_POLL);
    sheet.HandleMessage(message::UM_POLL);
    EXPECT_THAT(desktop_.notes, ElementsAre("通信エラー|サーバにアクセスできません。 (401)"));
}

TEST_F(ToolSheetControllerTest, CommandsAboutAndTheTrayMenu) {
    std::string title;
    for (int i = 0; i < 40; ++i) title += "ニ";
    Provision("\"Company\"=\"5\"\n\"Title\"=\"" + title + "\"\n\"helpUrl\"=\"http://help.test/\"\n",
              std::string(kUserIdentity) + "\"GroupID\"=\"G9\"\n\"DeliveryNo\"=\"D5\"\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    ToolSheetController& sheet = Started();
    // Whole: the tray cuts it to its limit.
    EXPECT_EQ(Tip(), title);

    sheet.OnCommand(12345);  // another id does nothing
    Settle();
    EXPECT_EQ(desktop_.sheetShows + desktop_.menus, 0);
    EXPECT_TRUE(desktop_.abouts.empty() && desktop_.opened.empty());
    EXPECT_FALSE(sheet.Ended());

    sheet.OnCommand(kCmdTool);
    EXPECT_EQ(desktop_.sheetShows, 1);
    sheet.OnCommand(kCmdHelp);
    EXPECT_TRUE(desktop_.opened.empty());  // posted first
    Settle();
    EXPECT_THAT(desktop_.opened, ElementsAre("http://help.test/"));

    // The About dialog runs once at a time.
    desktop_.whileOpen = [&] {
        if (desktop_.abouts.size() == 1) sheet.OnCommand(kCmdAbout);
    };
    sheet.OnCommand(kCmdAbout);
    ASSERT_EQ(desktop_.abouts.size(), 1u);
    const AboutFields& about = desktop_.abouts[0];
    EXPECT_EQ(text::Cp932ToUtf8(about.titleLine), "ヴェルモラ 1.0.1");
    EXPECT_EQ(text::Cp932ToUtf8(about.deliveryLabel), "配信番号：");
    EXPECT_EQ(about.groupId, "G9");
    EXPECT_EQ(about.clientId, "C1");
    EXPECT_EQ(about.deliveryNo, "D5");

    // A right click opens the menu; one on another icon does nothing.
    sheet.HandleMessage(message::UM_TRAYNOTIFY, 7, kWmRButtonDown);
    sheet.HandleMessage(message::UM_TRAYNOTIFY, kTrayIconId, kWmRButtonDown);
    EXPECT_EQ(desktop_.menus, 1);
    sheet.OnCommand(kCmdExit);
    EXPECT_TRUE(sheet.Ended());
}

TEST_F(ToolSheetControllerTest, DesktopActionsOfAFreshStart) {
    Provision("", std::string(kUserIdentity) + "\"DeliveryNo\"=\"D5\"\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    ToolSheetController& sheet = Started();
    sheet.PostDesktopAction(DesktopAction::News);
    sheet.PostDesktopAction(DesktopAction::About);
    sheet.PostDesktopAction(DesktopAction::None);
    ASSERT_EQ(desktop_.posted.size(), 2u);
    EXPECT_EQ(desktop_.posted[0][0], message::UM_SHOWNEWS);
    EXPECT_EQ(desktop_.posted[1][0], message::UM_MENUCOMMAND);
    EXPECT_EQ(desktop_.posted[1][1], kCmdAbout);
    Settle();
    EXPECT_EQ(desktop_.cycles.size(), 2u);
    // Company "0": no delivery number label, the number as stored.
    ASSERT_EQ(desktop_.abouts.size(), 1u);
    EXPECT_EQ(desktop_.abouts[0].deliveryLabel, "");
    EXPECT_EQ(desktop_.abouts[0].deliveryNo, "D5");
}
