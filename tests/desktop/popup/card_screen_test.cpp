// The open popup on a real X server (xvfb): the cards are rendered by the web
// engine and checked by the pixels on the screen.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>
#include <functional>
#include <vector>

#include "core/text/cp932.h"
#include "desktop/common/messages.h"
#include "desktop/popup/card_area.h"
#include "desktop/popup/card_cover.h"
#include "desktop/popup/news_popup.h"
#include "support/picture_server.h"
#include "support/popup_test_support.h"
#include "support/under_xvfb.h"

namespace velmora {
namespace {

using test_support::FillChannel;
using test_support::LaunchLog;
using test_support::PictureServer;
using test_support::WaitFor;

const QColor kWideColor(0, 0, 255);
const QColor kSmallColor(0, 160, 0);
const QColor kInjected(255, 0, 0);

struct Area {
    int count = 0;
    QRect box;
};

Area FindColor(const QImage& image, const QColor& color) {
    Area area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color) {
                ++area.count;
                area.box |= QRect(x, y, 1, 1);
            }
    return area;
}

class CardScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") != "xcb") GTEST_SKIP() << "needs Xvfb";
        server.AddPicture("/wide.png", {240, 80}, kWideColor);
        server.AddPicture("/small.png", {60, 40}, kSmallColor);
        popup.SetLauncher(launches.Launcher());
        ASSERT_TRUE(popup.CreatePopup());
        popup.show();
    }
    void TearDown() override {
        QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::Quit);
    }

    QImage Shot() const {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, popup.x(), popup.y(), popup.width(), popup.height())
            .toImage();
    }

    PictureServer server;
    LaunchLog launches;
    CNewsPopup popup;
    FeedChannel channel;
};

TEST_F(CardScreenTest, OpenPopupShowsBothCardsWithScaledPictures) {
    const std::string base = server.Address("").toStdString();
    FillChannel(channel,
                {{"<b>Wide</b> 100% news<script>document.body.style.background='#ff0000'</script>",
                  "<img src=x onerror=\"document.body.style.background='#ff0000'\">First detail",
                  base + "/item1", base + "/wide.png"},
                 {"Small picture", "<a id=\"plain\" href=\"" + base + "/elsewhere\">plain</a>",
                  base + "/item2", base + "/small.png"}},
                "ticker one", base + "/ticker");
    popup.SetChannel(channel);

    // Parked: only the tab shows at the right edge; the shape hides the rest.
    ASSERT_TRUE(WaitFor([&] { return popup.isVisible() && popup.pos() == QPoint(944, 234); }));
    WaitFor([] { return false; }, 300);
    const QImage edge =
        QGuiApplication::primaryScreen()->grabWindow(0, 944, 234, 80, 302).toImage();
    if (const char* dir = std::getenv("VELMORA_SHOT_DIR")) edge.save(QString(dir) + "/parked.png");
    EXPECT_GT(edge.pixelColor(5, 30).red(), 150);
    EXPECT_LT(edge.pixelColor(5, 30).green(), 80);
    EXPECT_EQ(FindColor(edge.copy(0, 60, 80, 242), QColor(Qt::black)).count, 80 * 242);

    QCoreApplication::postEvent(&popup, new QEvent(UM_POPUP_OPEN));
    const QPoint open(popup.Positions().openX, popup.Positions().openY);
    EXPECT_EQ(open, QPoint(464, 234));
    QImage shot;
    const bool painted = WaitFor(
        [&] {
            if (popup.pos() != open) return false;
            shot = Shot();
            return FindColor(shot, kWideColor).count > 0 && FindColor(shot, kSmallColor).count > 0;
        },
        30000);
    if (const char* dir = std::getenv("VELMORA_SHOT_DIR")) shot.save(QString(dir) + "/popup.png");
    ASSERT_TRUE(painted);
    WaitFor([] { return false; }, 1000);
    if (const char* dir = std::getenv("VELMORA_SHOT_DIR"))
        Shot().save(QString(dir) + "/popup-later.png");

    // 240 x 80 is scaled into the 120 x 80 frame; 60 x 40 keeps its size.
    const Area wide = FindColor(shot, kWideColor);
    const Area small = FindColor(shot, kSmallColor);
    EXPECT_EQ(wide.box.size(), QSize(120, 40));
    EXPECT_EQ(wide.count, 120 * 40);
    EXPECT_EQ(small.box.size(), QSize(60, 40));
    EXPECT_EQ(small.count, 60 * 40);
    // Left card, right card, both inside the visible card area.
    const QRect cards(250, 80, 292, 158);
    EXPECT_TRUE(cards.contains(wide.box)) << wide.box.x() << "," << wide.box.y();
    EXPECT_TRUE(cards.contains(small.box)) << small.box.x() << "," << small.box.y();
    EXPECT_LT(wide.box.right(), 250 + 146);
    EXPECT_GE(small.box.left(), 250 + 146);
    // No script of the feed ran.
    EXPECT_EQ(FindColor(shot, kInjected).count, 0);
    // The skin around: yellow ticker bar, the tab, nothing outside the shape.
    EXPECT_GT(shot.pixelColor(400, 58).red(), 200);
    EXPECT_GT(shot.pixelColor(400, 58).green(), 180);
    EXPECT_LT(shot.pixelColor(400, 58).blue(), 100);
    EXPECT_EQ(FindColor(shot, QColor(255, 0, 255)).count, 0);

    // The strips cover the view's edges: the page's own white shows inside them.
    EXPECT_EQ(shot.pixelColor(300, 200), QColor(Qt::white));
}

// The visible part of the card area holds nothing but one colour.
bool Blank(const QImage& image) {
    int other = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) other += image.pixel(x, y) != image.pixel(0, 0);
    return other * 200 < image.width() * image.height();
}

TEST_F(CardScreenTest, NoOpenShowsAnEmptyCardArea) {
    const std::string base = server.Address("").toStdString();
    FillChannel(channel,
                {{"Wide headline", "First detail", base + "/item1", base + "/wide.png"},
                 {"Small headline", "Second detail", base + "/item2", base + "/small.png"}});
    popup.SetChannel(channel);
    const QPoint open(popup.Positions().openX, popup.Positions().openY);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // Samples the card area from the slide's start until the live cards show
    // both pictures; `onSample` sees each sample of the whole area on the screen.
    auto openAndWatch = [&](const std::function<void(const QImage&)>& onSample) {
        QCoreApplication::postEvent(&popup, new QEvent(UM_POPUP_OPEN));
        int samples = 0;
        const bool live = WaitFor(
            [&] {
                const QRect area =
                    QRect(popup.pos() + QPoint(250, 80), QSize(292, 158)).intersected(screen);
                if (area.width() < 20) return false;
                const QImage shot =
                    QGuiApplication::primaryScreen()
                        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                        .toImage();
                EXPECT_FALSE(Blank(shot)) << "sample " << samples << " at x " << popup.x();
                ++samples;
                if (popup.pos() != open) return false;
                onSample(shot);
                return popup.CardsLive() && FindColor(shot, kWideColor).count > 0 &&
                       FindColor(shot, kSmallColor).count > 0;
            },
            30000);
        EXPECT_GT(samples, 0);
        return live;
    };

    // First open: the headlines are drawn in the card colour until the engine paints.
    ASSERT_TRUE(openAndWatch([](const QImage&) {}));
    // Parked, the engine takes a picture of the cards and stops; released, the
    // picture is what the next open shows until the engine has painted again.
    popup.SetCardPauseDelay(1500);  // the pictures are in by then
    popup.OnCommand(kLogoCommand);
    ASSERT_TRUE(WaitFor([&] { return popup.Cards() && popup.Cards()->Paused(); }, 10000));
    EXPECT_TRUE(popup.Cover()->ShowsPicture());
    popup.SetCardReleaseDelay(10);
    popup.Park();
    ASSERT_TRUE(WaitFor([&] { return popup.Cards() == nullptr; }, 5000));
    bool pictureBeforeLive = false;
    ASSERT_TRUE(openAndWatch([&](const QImage& shot) {
        if (!popup.CardsLive())
            pictureBeforeLive = pictureBeforeLive || (FindColor(shot, kWideColor).count > 0 &&
                                                      FindColor(shot, kSmallColor).count > 0);
    }));
    EXPECT_TRUE(pictureBeforeLive);
    popup.Park();
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    return velmora::test_support::RunTestsUnderXvfb(argc, argv);
}
