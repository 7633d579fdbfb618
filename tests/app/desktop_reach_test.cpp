// The real program on desktops other than an XEmbed tray: a status notifier
// watcher on a private session bus, no tray host at all (with a notification
// server standing in), and the desktop entry actions between two processes.
// Runs on a private Xvfb against the demo service.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/feed/feed_channel.h"
#include "core/feed/item_store.h"
#include "demo_profile.h"
#include "demo_service.h"
#include "desktop_session.h"
#include "program_test.h"

namespace fs = std::filesystem;
using namespace velmora;
using velmora::test_support::DesktopSession;
using velmora::test_support::MappedWindow;

// --- Stand-ins for the desktop's services ------------------------------------

// The panel's side of status notifier items. The toolkit reads
// IsStatusNotifierHostRegistered through introspection, so the properties are
// exported (and so declared) as such.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
  public:
    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }
    QStringList RegisteredStatusNotifierItems() const { return items; }

    QStringList items;    // as registered
    QStringList senders;  // the unique names that registered them

  public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        items << service;
        senders << message.service();
        emit StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

  signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();
};

struct Notification {
    QString app;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    std::vector<Notification> received;

  public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        received.push_back({app, icon, summary, body, actions});
        return static_cast<uint>(received.size());
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    void CloseNotification(uint) {}

  signals:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);
};

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "desktop_reach_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// Serves the bus while waiting.
bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");

struct MenuEntry {
    int id = 0;
    QString label;
    QString type;
};

// One (ia{sv}av) node of a dbusmenu layout, with its children.
void ReadLayoutNode(const QDBusArgument& arg, std::vector<MenuEntry>& entries, bool top) {
    MenuEntry entry;
    QVariantMap properties;
    arg.beginStructure();
    arg >> entry.id >> properties;
    entry.label = properties.value(QStringLiteral("label")).toString();
    entry.type = properties.value(QStringLiteral("type")).toString();
    if (!top) entries.push_back(entry);
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        ReadLayoutNode(qvariant_cast<QDBusArgument>(child.variant()), entries, false);
    }
    arg.endArray();
    arg.endStructure();
}

// a(iiay): the sizes and bytes of every image.
QByteArray ReadPixmaps(const QDBusArgument& arg) {
    QByteArray all;
    arg.beginArray();
    while (!arg.atEnd()) {
        int w = 0;
        int h = 0;
        QByteArray bytes;
        arg.beginStructure();
        arg >> w >> h >> bytes;
        arg.endStructure();
        all += QByteArray::number(w) + 'x' + QByteArray::number(h) + ':' + bytes;
    }
    arg.endArray();
    return all;
}

class DesktopReachTest : public test_support::ProgramTest {
  protected:
    void SetUp() override {
        App();
        std::string why;
        if (!desktop_.Start(why)) GTEST_SKIP() << why;
        ProgramTest::SetUp();
    }
    void TearDown() override {
        ProgramTest::TearDown();
        desktop_.Stop();
    }

    void StartService(std::uint32_t popup = 1) {
        ProgramTest::StartService({}, 60);
        if (popup != 1) {
            // The user chose blinking instead of the popup.
            const fs::path user = root_ / "config" / "velmora" / "user.reg";
            FILE* f = std::fopen(user.c_str(), "a");
            ASSERT_NE(f, nullptr);
            std::fprintf(f, "\"popup\"=dword:%08x\n", popup);
            std::fclose(f);
        }
    }

    // The program on the private X server and session bus.
    QProcess& Launch(const QStringList& args = {}) {
        QProcessEnvironment env = ProfileEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "SESSION_MANAGER"}) {
            env.remove(QString::fromLatin1(name));
        }
        env.insert(QStringLiteral("DISPLAY"), desktop_.Display());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), desktop_.BusAddress());
        // Under AddressSanitizer the GL driver's allocations cannot be told from ours.
        env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
        return LaunchWith(env, args);
    }

    static void Terminate(QProcess& p) { SendTerminate(p); }

    static bool EndsWithZero(QProcess& p, int ms = 30000) {
        bool finished = false;
        WaitFor([&] { return finished = p.state() == QProcess::NotRunning; }, ms);
        return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    std::string Titles() const {
        std::string all;
        for (const MappedWindow& w : desktop_.Windows()) all += "'" + w.title + "' ";
        return all;
    }

    // Makes the running copy fetch again by a second start; true once it has.
    bool FetchAgain() {
        const int before = service_->ServiceRequests();
        for (int attempt = 0; attempt < 20; ++attempt) {
            QProcess& second = Launch();
            if (!EndsWithZero(second, 15000)) return false;
            if (WaitFor([&] { return service_->ServiceRequests() > before; }, 1500)) return true;
        }
        return false;
    }

    bool WindowShown(const std::string& title, int ms = 20000) {
        return WaitFor([&] { return desktop_.FindWindow(title); }, ms);
    }

    DesktopSession desktop_;
};

// The registered item as seen from the panel.
class ItemView {
  public:
    ItemView(QDBusConnection bus, QString service) : bus_(bus), service_(std::move(service)) {}

    QVariant Property(const QString& name) const {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service_, kItemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << kItemInterface << name;
        const QDBusMessage reply = bus_.call(get, QDBus::BlockWithGui, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    }

    // The tooltip's title and the icon's images.
    QString TooltipTitle() const {
        const QVariant tip = Property(QStringLiteral("ToolTip"));
        // Not there (yet): the item is still registering.
        if (!tip.canConvert<QDBusArgument>()) return {};
        const QDBusArgument arg = qvariant_cast<QDBusArgument>(tip);
        QString iconName;
        QString title;
        QString text;
        arg.beginStructure();
        arg >> iconName;
        ReadPixmaps(arg);
        arg >> title >> text;
        arg.endStructure();
        return title;
    }
    QByteArray IconPixmap() const {
        return ReadPixmaps(qvariant_cast<QDBusArgument>(Property(QStringLiteral("IconPixmap"))));
    }

    bool Call(const QString& method, const QVariantList& args,
              const QString& interface = kItemInterface, const QString& path = kItemPath) const {
        QDBusMessage call = QDBusMessage::createMethodCall(service_, path, interface, method);
        call.setArguments(args);
        return bus_.call(call, QDBus::BlockWithGui, 5000).type() == QDBusMessage::ReplyMessage;
    }

    std::vector<MenuEntry> Menu(const QString& path) const {
        std::vector<MenuEntry> entries;
        QDBusMessage call = QDBusMessage::createMethodCall(
            service_, path, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
        call << 0 << -1 << QStringList();
        const QDBusMessage reply = bus_.call(call, QDBus::BlockWithGui, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
            return entries;
        ReadLayoutNode(qvariant_cast<QDBusArgument>(reply.arguments().at(1)), entries, true);
        return entries;
    }

  private:
    QDBusConnection bus_;
    QString service_;
};

}  // namespace

// --- A status notifier host --------------------------------------------------

class NewIconCounter : public QObject {
    Q_OBJECT
  public:
    int count = 0;
  public slots:
    void OnNewIcon() { ++count; }
};

TEST_F(DesktopReachTest, StatusNotifierItemCarriesTheTrayAndItsMenu) {
    StartService();
    QDBusConnection bus = desktop_.Bus();
    FakeWatcher watcher;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllContents));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

    QProcess& p = Launch();
    ASSERT_TRUE(WaitFor([&] { return !watcher.items.isEmpty(); }, 30000))
        << "the item never registered: " << p.readAllStandardError().constData();
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));
    // The name the item registered under is one of the program's own.
    const QString item = watcher.items.first();
    EXPECT_TRUE(item == watcher.senders.first() ||
                item.startsWith(QStringLiteral("org.kde.StatusNotifierItem-")))
        << item.toStdString();
    ItemView view(bus, item);

    EXPECT_EQ(view.TooltipTitle(), QStringLiteral("ヴェルモラ"));
    const QByteArray normalIcon = view.IconPixmap();
    EXPECT_FALSE(normalIcon.isEmpty());
    const QString menuPath =
        qvariant_cast<QDBusObjectPath>(view.Property(QStringLiteral("Menu"))).path();
    ASSERT_NE(menuPath, QStringLiteral("/NO_DBUSMENU"));

    const std::vector<MenuEntry> menu = view.Menu(menuPath);
    ASSERT_EQ(menu.size(), 5u);
    EXPECT_EQ(menu[0].label, QStringLiteral("ツール"));
    EXPECT_EQ(menu[1].label, QStringLiteral("ヘルプ"));
    EXPECT_EQ(menu[2].label, QStringLiteral("バージョン情報"));
    EXPECT_EQ(menu[3].type, QStringLiteral("separator"));
    EXPECT_EQ(menu[4].label, QStringLiteral("終了"));

    // A left click (Activate) runs a cycle.
    const int before = service_->ServiceRequests();
    ASSERT_TRUE(WaitFor(
        [&] {
            view.Call(QStringLiteral("Activate"), {0, 0});
            return WaitFor([&] { return service_->ServiceRequests() > before; }, 2000);
        },
        30000));

    // A failed cycle shows the error image.
    NewIconCounter newIcons;
    ASSERT_TRUE(bus.connect(watcher.senders.first(), kItemPath, kItemInterface,
                            QStringLiteral("NewIcon"), &newIcons, SLOT(OnNewIcon())));
    service_->SetFault(demo::Fault::NotFound, 0);
    const int beforeFailure = service_->ServiceRequests();
    view.Call(QStringLiteral("Activate"), {0, 0});
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() > beforeFailure; }, 30000));
    EXPECT_TRUE(WaitFor([&] { return view.IconPixmap() != normalIcon; }, 15000));
    EXPECT_GT(newIcons.count, 0);
    service_->SetFault(demo::Fault::None, 0);

    // The panel restarts: its watcher leaves the bus and comes back, and the
    // item registers with it again.
    const int registrations = static_cast<int>(watcher.items.size());
    ASSERT_TRUE(bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    WaitFor([] { return false; }, 300);
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(WaitFor([&] { return watcher.items.size() > registrations; }, 15000));
    ItemView again(bus, watcher.items.last());
    EXPECT_TRUE(
        WaitFor([&] { return again.TooltipTitle() == QStringLiteral("ヴェルモラ"); }, 10000));
    ASSERT_EQ(again.Menu(menuPath).size(), 5u);

    // A host that asks for the menu with ContextMenu(x, y) gets it drawn by
    // the program; it stays open until the end below.
    const std::size_t windows = desktop_.Windows().size();
    ASSERT_TRUE(again.Call(QStringLiteral("ContextMenu"), {10, 10}));
    EXPECT_TRUE(WaitFor([&] { return desktop_.Windows().size() > windows; }, 10000)) << Titles();

    // 終了 from the host's menu ends the program and saves the store.
    ASSERT_TRUE(view.Call(
        QStringLiteral("Event"),
        {menu[4].id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))), 0u},
        QStringLiteral("com.canonical.dbusmenu"), menuPath));
    EXPECT_TRUE(EndsWithZero(p)) << p.readAllStandardError().constData();
    EXPECT_TRUE(StoreHoldsTheChannel());
}

TEST_F(DesktopReachTest, ATrayHostThatComesLaterGetsTheIcon) {
    StartService();
    QProcess& p = Launch();
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));

    QDBusConnection bus = desktop_.Bus();
    FakeWatcher watcher;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllContents));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(WaitFor([&] { return !watcher.items.isEmpty(); }, 15000))
        << p.readAllStandardError().constData();
    ItemView view(bus, watcher.items.last());
    EXPECT_TRUE(
        WaitFor([&] { return view.TooltipTitle() == QStringLiteral("ヴェルモラ"); }, 10000));
    const QString menuPath =
        qvariant_cast<QDBusObjectPath>(view.Property(QStringLiteral("Menu"))).path();
    EXPECT_EQ(view.Menu(menuPath).size(), 5u);
    Terminate(p);
    EXPECT_TRUE(EndsWithZero(p));
}

// --- No tray host at all ------------------------------------------------------

TEST_F(DesktopReachTest, WithoutATrayAStandingErrorIsNotifiedAndTheNewsRequestShowsIt) {
    StartService();
    service_->SetFault(demo::Fault::NotFound, 0);
    QDBusConnection bus = desktop_.Bus();
    FakeNotifications server;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                   QDBusConnection::ExportAllContents));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    QProcess& p = Launch();
    // A failed first fetch of the channel is no error yet; the next one is.
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));
    ASSERT_TRUE(FetchAgain());
    ASSERT_TRUE(WaitFor([&] { return !server.received.empty(); }, 30000))
        << p.readAllStandardError().constData();
    const Notification& n = server.received.front();
    EXPECT_EQ(n.app, QStringLiteral("ヴェルモラ"));
    EXPECT_EQ(n.icon, QStringLiteral("velmora"));
    EXPECT_EQ(n.summary, QStringLiteral("通信エラー"));
    EXPECT_EQ(n.body, QStringLiteral("サーバにアクセスできません。 (404)"));
    ASSERT_EQ(n.actions.size(), 4);
    EXPECT_EQ(n.actions[1], QStringLiteral("トラブルシューティング"));
    EXPECT_EQ(n.actions[3], QStringLiteral("詳細"));
    // The user asked for the news: the dialog shows, as a click would.
    EXPECT_TRUE(WindowShown("エラー情報"));
    // The same error again is not news.
    ASSERT_TRUE(FetchAgain());
    WaitFor([] { return false; }, 1000);
    EXPECT_EQ(server.received.size(), 1u);
    Terminate(p);
    EXPECT_TRUE(EndsWithZero(p));
}

TEST_F(DesktopReachTest, WithoutATrayOrNotificationServerTheErrorDialogShows) {
    StartService();
    service_->SetFault(demo::Fault::NotFound, 0);
    QProcess& p = Launch();
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));
    ASSERT_TRUE(FetchAgain());
    EXPECT_TRUE(WindowShown("エラー情報", 30000)) << p.readAllStandardError().constData();
    Terminate(p);
    EXPECT_TRUE(EndsWithZero(p));
}

// Started from a menu, the user sees no stderr: a start that cannot run is
// notified too, and still ends with a failing status.
TEST_F(DesktopReachTest, AStartThatCannotRunIsNotified) {
    const fs::path socket = root_ / "run" / ("velmora." + std::to_string(getuid()) + ".socket");
    fs::create_directories(socket);
    FakeNotifications server;
    QDBusConnection bus = desktop_.Bus();
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                   QDBusConnection::ExportAllContents));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    QProcess& p = Launch();
    ASSERT_TRUE(WaitFor([&] { return !server.received.empty(); }, 30000))
        << p.readAllStandardError().constData();
    const Notification& n = server.received.front();
    EXPECT_EQ(n.summary, QStringLiteral("起動エラー"));
    EXPECT_EQ(n.body, QStringLiteral("ヴェルモラを起動できません。\ncannot listen on ") +
                          QString::fromStdString(socket.string()) +
                          QStringLiteral(": it is a directory; remove it"));
    EXPECT_TRUE(n.actions.isEmpty());
    ASSERT_TRUE(WaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(p.exitCode(), 1);
}

TEST_F(DesktopReachTest, WithoutATrayNewsSlidesThePopupInEvenWhenBlinkingWasChosen) {
    StartService(0);
    QProcess& p = Launch();
    MappedWindow popup;
    // Slid in: the whole window on the screen, not only its tab.
    EXPECT_TRUE(WaitFor(
        [&] {
            return desktop_.FindWindow("Velmora", &popup) &&
                   popup.x < desktop_.ScreenWidth() - popup.width / 2;
        },
        30000))
        << "popup at x " << popup.x << " width " << popup.width << "; windows: " << Titles();
    Terminate(p);
    EXPECT_TRUE(EndsWithZero(p));
}

// --- Desktop entry actions ----------------------------------------------------

TEST_F(DesktopReachTest, DesktopActionsReachTheRunningCopy) {
    StartService();
    QProcess& first = Launch();
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));

    const auto action = [&](const char* option) {
        QProcess& second = Launch({QString::fromLatin1(option)});
        return EndsWithZero(second, 20000);
    };
    // The first copy may still be starting to answer: ask until it does.
    ASSERT_TRUE(
        WaitFor([&] { return action("--tool") && WindowShown("ヴェルモラ", 2000); }, 30000));
    EXPECT_TRUE(action("--about"));
    EXPECT_TRUE(WindowShown("ﾊﾞｰｼﾞｮﾝ情報"));

    const int before = service_->ServiceRequests();
    EXPECT_TRUE(action("--news"));
    EXPECT_TRUE(WaitFor([&] { return service_->ServiceRequests() > before; }, 30000));

    EXPECT_TRUE(action("--quit"));
    EXPECT_TRUE(EndsWithZero(first)) << first.readAllStandardError().constData();
    EXPECT_TRUE(StoreHoldsTheChannel());
}

TEST_F(DesktopReachTest, DesktopActionsWithoutARunningCopy) {
    StartService();
    // Quitting what does not run starts nothing.
    QProcess& quit = Launch({QStringLiteral("--quit")});
    EXPECT_TRUE(EndsWithZero(quit, 20000));
    WaitFor([] { return false; }, 500);
    EXPECT_EQ(service_->ServiceRequests(), 0);

    // Any other action starts the program and then does as asked.
    QProcess& about = Launch({QStringLiteral("--about")});
    EXPECT_TRUE(WindowShown("ﾊﾞｰｼﾞｮﾝ情報", 30000)) << about.readAllStandardError().constData();
    EXPECT_EQ(about.state(), QProcess::Running);
    EXPECT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));
    Terminate(about);
    EXPECT_TRUE(EndsWithZero(about));
}

#include "desktop_reach_test.moc"
