// The card view itself, in this process: what reaches the page, what leaves it.

#include "cards/card_view.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QVariant>
#include <QWebEnginePage>
#include <utility>

#include "cards/card_scheme.h"
#include "core/popup/card_page.h"
#include "support/picture_server.h"
#include "support/popup_test_support.h"
#include "support/shipped_templates.h"

namespace velmora {
namespace {

using test_support::PictureServer;
using test_support::ReadTemplate;
using test_support::WaitFor;

class CardViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view.resize(314, 162);
        view.show();
    }
    QVariant Run(const QString& script) {
        QVariant result;
        bool done = false;
        view.page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        WaitFor([&] { return done; }, 10000);
        return result;
    }
    void Write(const std::vector<CardRecord>& items) {
        const CardTemplates templates{ReadTemplate(168), ReadTemplate(172), ReadTemplate(175)};
        const std::string page = ComposePage(templates, items, 0, NewPageNonce());
        loaded = false;
        view.Navigate(QUrl("about:blank"));
        ASSERT_TRUE(view.WritePage(QByteArray::fromStdString(page)));
        ASSERT_TRUE(WaitFor([&] { return loaded; }, 30000));
        WaitForInput();
    }
    // A loaded page takes input only once its first frame is up, which on a
    // busy machine can be a while later: click an empty spot until a click
    // arrives, so that a test's own clicks are not lost.
    void WaitForInput() {
        Run("window.inputSeen = false; document.addEventListener('mousedown',"
            " function () { window.inputSeen = true; }, true); true");
        for (int attempt = 0; attempt < 60; ++attempt) {
            ClickAt(kEmptySpot, Qt::LeftButton);
            if (WaitFor([&] { return Run("window.inputSeen").toBool(); }, 500)) return;
        }
        FAIL() << "the page never took a click";
    }
    static constexpr QPoint kEmptySpot{5, 150};
    QPoint CentreOf(const QString& selector) {
        const QVariantList xy =
            Run(QStringLiteral("(function(){var r=document.querySelector('%1')"
                               ".getBoundingClientRect();return [r.left+r.width/2,"
                               "r.top+r.height/2];})()")
                    .arg(selector))
                .toList();
        return xy.size() == 2 ? QPoint(int(xy[0].toDouble()), int(xy[1].toDouble())) : QPoint();
    }
    void ClickAt(QPoint point, Qt::MouseButton button) {
        QWidget* target = view.focusProxy() ? view.focusProxy() : &view;
        test_support::Click(target, point, button);
    }

    PictureServer server;
    std::vector<QUrl> links;
    bool loaded = false;
    CWebBrowser2 view{nullptr, [this](const QUrl& url) { links.push_back(url); }};
    QMetaObject::Connection connection =
        QObject::connect(&view, &CWebBrowser2::PageLoaded, [this](bool ok) { loaded = ok; });
};

TEST_F(CardViewTest, FeedScriptsDoNotRunWhileTheirMarkupRenders) {
    Write({{"<b>Bold</b> 5% <script>window.injected = 1;</script>",
            "<img src=x onerror=\"window.injected = 2\"><svg onload=\"window.injected = 3\"></svg>"
            "<a href=\"javascript:window.injected = 4\" id=\"js\">js</a>",
            "http://127.0.0.1:1/item", ""}});
    EXPECT_EQ(view.ReadyState(), 4);
    // The templates' own script ran: the page's variables exist.
    EXPECT_EQ(Run("typeof timerCallBack").toString(), "function");
    EXPECT_EQ(Run("canbas_w * 1000 + canbas_h").toInt(), 120080);
    EXPECT_TRUE(Run("document.querySelector('a.titletext b') !== null").toBool());
    EXPECT_TRUE(Run("document.querySelector('a.titletext').textContent").toString().contains("5%"));
    ClickAt(CentreOf("#js"), Qt::LeftButton);
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(Run("typeof window.injected").toString(), "undefined");
}

TEST_F(CardViewTest, PicturesAreScaledIntoTheFrameAndThePlaceholderIsServed) {
    server.AddPicture("/wide.png", {240, 80}, Qt::blue);
    server.AddPicture("/small.png", {60, 40}, Qt::green);
    Write({{"wide", "", "http://127.0.0.1:1/a", server.Address("/wide.png").toStdString()},
           {"small", "", "http://127.0.0.1:1/b", server.Address("/small.png").toStdString()}});
    ASSERT_TRUE(WaitFor([&] { return Run("img1_disp && img2_disp").toBool(); }, 15000));
    EXPECT_EQ(Run("document.querySelector('#imagearea1 img').width").toInt(), 120);
    EXPECT_EQ(Run("document.querySelector('#imagearea1 img').height").toInt(), 40);
    EXPECT_EQ(Run("document.querySelector('#imagearea2 img').width").toInt(), 60);
    EXPECT_EQ(Run("document.querySelector('#imagearea2 img').height").toInt(), 40);

    // No items: two empty cards whose pictures are bitmap 170.
    Write({});
    ASSERT_TRUE(WaitFor([&] { return Run("img1.complete && img1.naturalWidth").toInt() == 48; }));
    EXPECT_EQ(Run("img2.naturalHeight").toInt(), 48);
    EXPECT_EQ(Run("document.querySelectorAll('a').length").toInt(), 0);
}

TEST_F(CardViewTest, MissingPictureLeavesAnEmptyFrame) {
    Write({{"gone", "", "http://127.0.0.1:1/a", server.Address("/missing.png").toStdString()}});
    ASSERT_TRUE(WaitFor([&] { return Run("img1_disp").toBool(); }, 15000));
    EXPECT_EQ(Run("document.getElementById('imagearea1').innerHTML").toString(), "");
}

TEST_F(CardViewTest, BlankLinksAreHandedOverAndOthersLeadNowhere) {
    Write({{"title", "<a id=\"plain\" href=\"http://127.0.0.1:1/elsewhere\">plain</a>",
            "http://127.0.0.1:1/item?a=1&b=2", ""}});
    const QUrl page = view.page()->url();
    // On a loaded machine the engine may drop a click that comes while it is
    // still laying the page out: click again until one is handed over.
    for (int attempt = 0; attempt < 20 && links.empty(); ++attempt) {
        ClickAt(CentreOf("a.titletext"), Qt::LeftButton);
        WaitFor([&] { return !links.empty(); }, 2000);
    }
    ASSERT_FALSE(links.empty());
    for (const QUrl& link : links) EXPECT_EQ(link, QUrl("http://127.0.0.1:1/item?a=1&b=2"));
    EXPECT_EQ(view.page()->url(), page);

    const std::size_t handedOver = links.size();
    ClickAt(CentreOf("#plain"), Qt::LeftButton);
    WaitFor([] { return false; }, 500);
    EXPECT_EQ(view.page()->url(), page);
    EXPECT_EQ(links.size(), handedOver);
}

TEST_F(CardViewTest, KeysAndTheRightButtonNeverReachThePage) {
    Write({{"title", "detail", "http://127.0.0.1:1/item", ""}});
    Run("window.seen = []; ['keydown', 'keyup', 'mousedown', 'contextmenu'].forEach("
        "function (t) { document.addEventListener(t, function (e) {"
        " window.seen.push(e.type + e.button); }, true); }); true");
    ClickAt(CentreOf(".bodytext"), Qt::RightButton);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
    QWidget* target = view.focusProxy() ? view.focusProxy() : &view;
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
    ClickAt(kEmptySpot, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return Run("window.seen.length").toInt() > 0; }));
    EXPECT_EQ(Run("window.seen.join(',')").toString(), "mousedown0");
}

TEST_F(CardViewTest, OnlyItsOwnLoadsAreAccepted) {
    Write({{"title", "", "http://127.0.0.1:1/item", ""}});
    const QUrl page = view.page()->url();
    // A load the view did not start (as a script or a meta refresh would) is refused.
    view.page()->load(QUrl("http://127.0.0.1:1/other"));
    WaitFor([] { return false; }, 500);
    EXPECT_EQ(view.page()->url(), page);
}

TEST_F(CardViewTest, PageWrittenWhileTheBlankPageLoadsIsShownAndReported) {
    const CardTemplates templates{ReadTemplate(168), ReadTemplate(172), ReadTemplate(175)};
    for (int round = 0; round < 3; ++round) {
        const std::string title = "round " + std::to_string(round);
        const std::string page =
            ComposePage(templates, {{title, "", "http://127.0.0.1:1/item", ""}}, 0, NewPageNonce());
        loaded = false;
        // Written as soon as the blank page's load has begun, as the popup may.
        bool written = false;
        const QMetaObject::Connection write =
            QObject::connect(view.page(), &QWebEnginePage::loadStarted, [&] {
                if (!std::exchange(written, true)) view.WritePage(QByteArray::fromStdString(page));
            });
        view.Navigate(QUrl("about:blank"));
        const bool painted = WaitFor([&] { return loaded; }, 10000);
        QObject::disconnect(write);
        ASSERT_TRUE(painted) << round;
        EXPECT_EQ(Run("document.querySelector('a.titletext').textContent").toString(),
                  QString::fromStdString(title));
    }
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    velmora::RegisterCardScheme();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
