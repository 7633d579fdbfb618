// Which addresses reach the desktop's browser, and how they are converted.

#include "desktop/popup/browser_launcher.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QUrl>
#include <clocale>
#include <string>

#include "core/popup/openable_address.h"
#include "core/text/cp932.h"
#include "support/popup_test_support.h"

using namespace velmora;

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "launcher_test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

// PATH is a folder of the test's own: xdg-open is there only when a test puts a
// stand-in there, so no test starts the machine's browser.
class OwnPath {
  public:
    OwnPath() : saved_(qgetenv("PATH")) { qputenv("PATH", dir_.path().toUtf8()); }
    ~OwnPath() { qputenv("PATH", saved_); }
    // An xdg-open that notes its argument and ends with `status`.
    void FakeXdgOpen(int status) {
        QFile script(dir_.filePath("xdg-open"));
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\nexit %2\n")
                         .arg(Log())
                         .arg(status)
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    QString Log() const { return dir_.filePath("opened"); }

  private:
    QTemporaryDir dir_;
    QByteArray saved_;
};

class UrlSink : public QObject {
    Q_OBJECT
  public:
    UrlSink() {
        for (const char* scheme : {"http", "https", "file", "javascript", "mailto", "ftp"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
        }
    }
    ~UrlSink() override {
        for (const char* scheme : {"http", "https", "file", "javascript", "mailto", "ftp"}) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }
    QList<QUrl> opened;
  public slots:
    void Open(const QUrl& url) { opened << url; }

  private:
    OwnPath path_;
};

}  // namespace

TEST(OpenableAddress, FeedAddressesMustBeWebPages) {
    const auto feed = AddressOrigin::Feed;
    EXPECT_TRUE(IsOpenableAddress("http://example.jp/", feed));
    EXPECT_TRUE(IsOpenableAddress("HTTPS://example.jp/a?b=c#d", feed));
    EXPECT_TRUE(IsOpenableAddress("http://user@example.jp:8080", feed));
    EXPECT_FALSE(IsOpenableAddress("", feed));
    EXPECT_FALSE(IsOpenableAddress("file:///etc/passwd", feed));
    EXPECT_FALSE(IsOpenableAddress("/etc/passwd", feed));
    EXPECT_FALSE(IsOpenableAddress("example.jp/page", feed));
    EXPECT_FALSE(IsOpenableAddress("javascript:alert(1)", feed));
    EXPECT_FALSE(IsOpenableAddress("mailto:a@example.jp", feed));
    EXPECT_FALSE(IsOpenableAddress("ftp://example.jp/", feed));
    EXPECT_FALSE(IsOpenableAddress("http:/example.jp/", feed));
    EXPECT_FALSE(IsOpenableAddress("http:///path", feed));
    EXPECT_FALSE(IsOpenableAddress("http://:80/", feed));
    EXPECT_FALSE(IsOpenableAddress("http://example.jp/\nfile:///etc", feed));
    EXPECT_FALSE(IsOpenableAddress(" http://example.jp/", feed));
    EXPECT_FALSE(IsOpenableAddress("application.desktop", feed));
    EXPECT_FALSE(IsOpenableAddress("h ttp://example.jp/", feed));
}

TEST(OpenableAddress, SettingsMayNameLocalFiles) {
    const auto settings = AddressOrigin::Settings;
    EXPECT_TRUE(IsOpenableAddress("http://example.jp/help", settings));
    EXPECT_TRUE(IsOpenableAddress("file:///usr/share/doc/velmora/help.html", settings));
    EXPECT_TRUE(IsOpenableAddress("file:/usr/share/doc/help.html", settings));
    EXPECT_TRUE(IsOpenableAddress("FILE://localhost/usr/share/help.html", settings));
    EXPECT_FALSE(IsOpenableAddress("file:///", settings));
    EXPECT_FALSE(IsOpenableAddress("file:relative.html", settings));
    EXPECT_FALSE(IsOpenableAddress("smb://server/share", settings));
    EXPECT_FALSE(IsOpenableAddress("/usr/share/doc/help.html", settings));
}

TEST(BrowserLauncher, OpensOnlyWhatItMay) {
    App();
    UrlSink sink;
    EXPECT_FALSE(OpenInBrowser("", AddressOrigin::Feed));
    EXPECT_FALSE(OpenInBrowser("file:///etc/passwd", AddressOrigin::Feed));
    EXPECT_FALSE(OpenInBrowser("javascript:alert(1)", AddressOrigin::Settings));
    EXPECT_TRUE(sink.opened.isEmpty());

    EXPECT_TRUE(OpenInBrowser("file:///usr/share/doc/help.html", AddressOrigin::Settings));
    EXPECT_TRUE(OpenInBrowser("https://example.jp/item?id=1&x=2", AddressOrigin::Feed));
    ASSERT_EQ(sink.opened.size(), 2);
    EXPECT_EQ(sink.opened[0], QUrl(QStringLiteral("file:///usr/share/doc/help.html")));
    EXPECT_EQ(sink.opened[1].toString(), QStringLiteral("https://example.jp/item?id=1&x=2"));
}

TEST(BrowserLauncher, ConvertsShiftJisWithoutTouchingTheLocale) {
    App();
    UrlSink sink;
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const std::string address = text::Utf8ToCp932("http://例え.jp/ニュース?q=日本語");
    ASSERT_NE(address, text::Cp932ToUtf8(address));  // really Shift-JIS bytes
    EXPECT_TRUE(OpenInBrowser(address, AddressOrigin::Feed));
    ASSERT_EQ(sink.opened.size(), 1);
    const QUrl& url = sink.opened[0];
    EXPECT_EQ(url.host(), QString::fromUtf8("例え.jp"));
    EXPECT_EQ(url.path(), QString::fromUtf8("/ニュース"));
    EXPECT_EQ(url.query(QUrl::FullyDecoded), QString::fromUtf8("q=日本語"));
    EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), before);
}

TEST(BrowserLauncher, APageThatCannotBeOpenedIsReported) {
    App();
    int reports = 0;
    SetBrowserFailureReport([&] { ++reports; });
    {
        // No xdg-open and nothing else that opens pages.
        OwnPath path;
        EXPECT_FALSE(OpenInBrowser("https://example.jp/a", AddressOrigin::Feed));
        EXPECT_EQ(reports, 1);
        // Refused addresses are no failure of the desktop.
        EXPECT_FALSE(OpenInBrowser("javascript:alert(1)", AddressOrigin::Feed));
        EXPECT_EQ(reports, 1);
    }
    // xdg-open is there but no program takes the page (its status 3).
    OwnPath path;
    path.FakeXdgOpen(3);
    EXPECT_TRUE(OpenInBrowser("https://example.jp/a?b=1", AddressOrigin::Feed));
    EXPECT_TRUE(test_support::WaitFor([&] { return reports == 2; }));
    QFile log(path.Log());
    log.open(QIODevice::ReadOnly);
    EXPECT_EQ(log.readAll(), "https://example.jp/a?b=1\n");
    SetBrowserFailureReport(nullptr);
}

#include "browser_launcher_test.moc"
