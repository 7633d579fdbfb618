#pragma once
// A tool sheet on hive files in a temporary folder, with a transfer answering
// from a table, and a popup and a tray that record what they are asked.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/menu_commands.h"
#include "app/store_saver.h"
#include "app/tool_sheet.h"
#include "core/feed/feed_channel.h"
#include "core/feed/item_store.h"
#include "core/settings/registry.h"
#include "desktop/common/icon_resources.h"
#include "desktop/common/long_timer.h"
#include "desktop/dialogs/about_dialog.h"
#include "desktop/dialogs/delivery_no_dialog.h"
#include "desktop/dialogs/error_dialog.h"
#include "desktop/dialogs/option_page.h"
#include "desktop/popup/popup_port.h"
#include "desktop/tray/tray_port.h"
#include "support/delivery_fakes.h"
#include "support/fixed_clock.h"
#include "support/hive_sandbox.h"
#include "support/shell_fakes.h"

namespace velmora::test_support {

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "shell_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return a;
    }();
    return *app;
}

// Dispatches events until `done` holds or `ms` pass; true when it held.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Dispatches what is queued now and what that queues in turn.
inline void Settle() {
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// Runs `step` as soon as a nested event loop (a modal dialog) dispatches.
inline void WhenNested(std::function<void()> step) {
    QTimer::singleShot(0, std::move(step));
}

// The headlines in a store file, "+" after those marked read.
inline std::vector<std::string> StoredHeadlines(const std::filesystem::path& file) {
    FeedChannel stored;
    std::vector<std::string> out;
    if (!LoadItemStore(file, stored)) return {"(unreadable)"};
    for (const FeedItem* item = stored.First(); item; item = item->Next())
        out.emplace_back(std::string(item->Headline()) + (item->read ? "+" : ""));
    return out;
}

inline constexpr const char* kChannelServer = "http://one.test/rss/channel.cgi";
inline constexpr const char* kAccountServer = "http://acct.test/rss/account.cgi";

class SheetFixture : public HiveSandbox {
  protected:
    void SetUp() override {
        HiveSandbox::SetUp();
        TestApp();
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        fs::create_directories(root_ / "tmp");
        setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
        fs::create_directories(DataFile().parent_path());
    }
    void TearDown() override {
        sheet_.reset();
        Settle();
        HiveSandbox::TearDown();
    }

    fs::path DataFile() const { return root_ / "data" / "VELMORA" / "VELMORA.dat"; }

    // A machine key with one channel and one account server, and the given
    // per-user lines (the client identity unless replaced).
    void Provision(
        const std::string& machineExtra = "",
        const std::string& userLines = "\"ClientID\"=\"C1\"\n\"ClientPWD\"=\"secret\"\n") {
        WriteMachineKey(std::string("\"server1\"=\"") + kChannelServer + "\"\n\"server3\"=\"" +
                        kAccountServer + "\"\n" + machineExtra);
        WriteUserKey(userLines);
    }

    static std::string Feed(int items, const std::string& date = "2024-01-01") {
        std::vector<ChannelEntry> entries;
        for (int i = 0; i < items; ++i) entries.push_back({"item" + std::to_string(i), date});
        return ChannelDocument(entries);
    }

    CToolSheet& MakeSheet(QImage normal = IconResourceImage(128)) {
        SheetStartup startup;
        startup.dataFile = DataFile();
        startup.normalIcon = normal;
        startup.blinkIcon = IconResourceImage(129);
        SheetServices services;
        services.network = &network_;
        services.clock = &clock_;
        services.makePopup = [this] {
            auto popup = std::make_unique<RecordingPopup>(popupLog_);
            popup->onPrepare = [this] { preparedAfterRequests_.push_back(network_.calls.size()); };
            return popup;
        };
        services.makeTray = TrayRecorder();
        services.storeSaveIntervalMs = storeSaveIntervalMs_;
        sheet_ = std::make_unique<CToolSheet>(QStringLiteral("ツール"), startup, services);
        QObject::connect(sheet_.get(), &CToolSheet::ended, [this] { ++ended_; });
        QObject::connect(sheet_.get(), &CToolSheet::cycleFinished,
                         [this](CycleResult r) { cycles_.push_back(r); });
        return *sheet_;
    }

    // The sheet initialised and its first UM_POLL handled.
    CToolSheet& StartedSheet() {
        CToolSheet& sheet = MakeSheet();
        sheet.OnInitDialog();
        Settle();
        return sheet;
    }

    void PopupLogClear() { popupLog_.clear(); }

    TrayFactory TrayRecorder() {
        return [this](const TrayArtwork&, QMenu* menu, QObject*) {
            tray_.menuExported = menu != nullptr;
            return std::make_unique<RecordingTray>(tray_);
        };
    }

    // A tray menu command, as the menu hands it to the sheet.
    static void Command(CToolSheet& sheet, int id) {
        MenuCommandEvent command(id);
        QCoreApplication::sendEvent(&sheet, &command);
    }

    // The sheet's windows and parts, found as the toolkit knows them.
    static COptionPage2& Page(CToolSheet& sheet) {
        auto* page = sheet.findChild<COptionPage2*>();
        if (!page) throw std::logic_error("the sheet has no settings page");
        return *page;
    }
    static const LongTimer& PollTimer(CToolSheet& sheet) {
        auto* timer = sheet.findChild<LongTimer*>();
        if (!timer) throw std::logic_error("the sheet has no poll timer");
        return *timer;
    }
    static StoreSaver& Saver(CToolSheet& sheet) {
        auto* saver = sheet.findChild<StoreSaver*>();
        if (!saver) throw std::logic_error("the sheet has no store saver");
        return *saver;
    }
    static CAboutDlg* AboutDialog(CToolSheet& sheet) { return sheet.findChild<CAboutDlg*>(); }
    // The delivery number dialog while it is open.
    static CDeliveryNoDlg* DeliveryDialog(CToolSheet& sheet) {
        return sheet.findChild<CDeliveryNoDlg*>();
    }
    // The error dialog is a window of its own.
    static CErrorDlg* ErrorDialog() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<CErrorDlg*>(w)) return dialog;
        }
        return nullptr;
    }

    std::uint32_t UserDword(const char* name, std::uint32_t absent = 0xDEADBEEF) {
        std::uint32_t v = absent;
        CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, name, v);
        return v;
    }

    FakeTransfer network_;
    FixedClock clock_{kSampleInstant};
    std::vector<std::string> popupLog_;
    std::vector<std::size_t> preparedAfterRequests_;  // requests made before each PrepareOpen
    std::vector<CycleResult> cycles_;
    TrayRecord tray_;
    int ended_ = 0;
    std::uint32_t storeSaveIntervalMs_ = kStoreSaveIntervalMs;
    std::unique_ptr<CToolSheet> sheet_;
    ScopedEnv savedDataHome_{"XDG_DATA_HOME"};
    ScopedEnv savedTmp_{"TMPDIR"};
};

}  // namespace velmora::test_support
