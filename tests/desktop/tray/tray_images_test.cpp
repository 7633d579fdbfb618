// The tray's images as the program composes them from its artwork, their
// conversion to and from the icon planes, and the poll timer's long intervals.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "core/tray/icon_image.h"
#include "desktop/common/icon_resources.h"
#include "desktop/common/long_timer.h"

using namespace velmora;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "tray_images_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

bool Opaque(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y)) == 255;
}

}  // namespace

TEST(TrayImages, ArtworkHasItsSizesAndKeyColour) {
    App();
    const struct {
        int id, size;
    } artwork[] = {{128, 32}, {129, 32}, {133, 16}, {134, 16}, {135, 32}, {141, 32}};
    for (const auto& a : artwork) {
        const QImage image = IconResourceImage(a.id);
        ASSERT_FALSE(image.isNull()) << a.id;
        EXPECT_EQ(image.size(), QSize(a.size, a.size)) << a.id;
        // The overlays' key colour is their transparent first pixel.
        if (a.id != 128) {
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << a.id;
        }
    }
    const QImage blink = IconResourceImage(kIconBlink);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) ASSERT_EQ(qAlpha(blink.pixel(x, y)), 0);
    }
    EXPECT_TRUE(IconResourceImage(130).isNull());
}

TEST(TrayImages, ErrorImageShowsTheRedDiscLowerLeft) {
    App();
    const QImage normal = IconResourceImage(kIconNormal);
    const QImage error = ComposeOverlayImage(normal, true);
    const QImage busy = ComposeOverlayImage(normal, false);
    const QImage disc = IconResourceImage(kOverlayError32);
    const QImage bolt = IconResourceImage(kOverlayBusy32);
    ASSERT_EQ(error.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (qAlpha(disc.pixel(x, y)) != 0) {
                ASSERT_EQ(error.pixel(x, y), disc.pixel(x, y)) << x << "," << y;
            } else {
                ASSERT_EQ(error.pixel(x, y), normal.pixel(x, y)) << x << "," << y;
            }
            if (qAlpha(bolt.pixel(x, y)) != 0) {
                ASSERT_EQ(busy.pixel(x, y), bolt.pixel(x, y));
            } else {
                ASSERT_EQ(busy.pixel(x, y), normal.pixel(x, y));
            }
        }
    }
    // The disc sits in the lower left corner, red where the cross is not.
    EXPECT_TRUE(Opaque(error, 2, 24));
    EXPECT_GT(qRed(error.pixel(2, 24)), 200);
    EXPECT_LT(qGreen(error.pixel(2, 24)), 60);
    EXPECT_EQ(error.pixel(28, 4), normal.pixel(28, 4));
}

TEST(TrayImages, SixteenPixelBaseTakesTheSmallOverlays) {
    App();
    QImage base(16, 16, QImage::Format_ARGB32);
    base.fill(QColor(10, 20, 30));
    const QImage error = ComposeOverlayImage(base, true);
    const QImage small = IconResourceImage(kOverlayError16);
    ASSERT_EQ(error.size(), QSize(16, 16));
    int fromOverlay = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (qAlpha(small.pixel(x, y)) == 0) continue;
            ++fromOverlay;
            EXPECT_EQ(error.pixel(x, y), small.pixel(x, y));
        }
    }
    EXPECT_GT(fromOverlay, 20);
    EXPECT_EQ(error.pixel(15, 0), base.pixel(15, 0));
}

TEST(TrayImages, PlanesRoundTripIncludingPartialAlpha) {
    App();
    QImage image(3, 2, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0, 0, 0, 0));
    image.setPixel(1, 0, qRgba(255, 0, 0, 255));
    image.setPixel(2, 0, qRgba(0, 255, 0, 128));
    image.setPixel(0, 1, qRgba(1, 2, 3, 255));
    image.setPixel(1, 1, qRgba(9, 9, 9, 0));
    image.setPixel(2, 1, qRgba(0, 0, 255, 1));
    const IconImage planes = IconImageFromQImage(image);
    EXPECT_EQ(planes.MaskAt(0, 0), 1);
    EXPECT_EQ(planes.ColourAt(0, 0), 0u);
    EXPECT_EQ(planes.MaskAt(1, 1), 1);
    EXPECT_EQ(planes.ColourAt(1, 1), 0u);  // every transparent pixel is the key colour
    EXPECT_EQ(planes.MaskAt(2, 0), 0);
    const QImage back = QImageFromIconImage(planes);
    EXPECT_EQ(back.pixel(1, 0), image.pixel(1, 0));
    EXPECT_EQ(back.pixel(2, 0), image.pixel(2, 0));
    EXPECT_EQ(back.pixel(2, 1), image.pixel(2, 1));
    EXPECT_EQ(qAlpha(back.pixel(1, 1)), 0);
    EXPECT_TRUE(QImageFromIconImage(IconImage{}).isNull());
}

TEST(TrayImages, IconFilesLoadAtTheirOwnSizeOrNotAtAll) {
    App();
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const QString png = QString::fromStdString((dir / "velmora-icon-test.png").string());
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::green);
    ASSERT_TRUE(image.save(png));
    EXPECT_EQ(LoadIconFile(png).size(), QSize(16, 16));
    EXPECT_EQ(LoadIconFile(png, 32).size(), QSize(32, 32));
    EXPECT_TRUE(LoadIconFile(QString()).isNull());
    EXPECT_TRUE(LoadIconFile(png + QStringLiteral(".missing")).isNull());
    QFile text(png);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
    text.write("this is no icon");
    text.close();
    EXPECT_TRUE(LoadIconFile(png).isNull());
    QFile::remove(png);
}

TEST(LongTimer, RepeatsAndWaitsOutIntervalsBeyondTheToolkitLimit) {
    App();
    LongTimer timer;
    timer.SetStepLimit(5);
    // Steps armed and ticks, in the order they happen: 0 marks a tick.
    std::vector<int> events;
    QObject::connect(&timer, &LongTimer::stepArmed, [&](int ms) { events.push_back(ms); });
    QObject::connect(&timer, &LongTimer::timeout, [&] { events.push_back(0); });
    timer.Start(12);
    EXPECT_EQ(timer.IntervalMs(), 12u);
    QElapsedTimer deadline;
    deadline.start();
    while (std::count(events.begin(), events.end(), 0) < 2 && deadline.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // The next round is armed before the tick is announced; later steps may follow.
    ASSERT_GE(std::count(events.begin(), events.end(), 0), 2);
    const auto first = std::find(events.begin(), events.end(), 0);
    events.erase(std::find(first + 1, events.end(), 0) + 1, events.end());
    EXPECT_EQ(events, (std::vector<int>{5, 5, 2, 5, 0, 5, 2, 5, 0}));
    timer.Stop();
    EXPECT_FALSE(timer.IsActive());

    // 71582 minutes do not fit the toolkit's int: a day at a time, no immediate tick.
    LongTimer longOne;
    std::vector<int> longEvents;
    QObject::connect(&longOne, &LongTimer::stepArmed, [&](int ms) { longEvents.push_back(ms); });
    QObject::connect(&longOne, &LongTimer::timeout, [&] { longEvents.push_back(0); });
    longOne.Start(71582ull * 60000ull);
    EXPECT_TRUE(longOne.IsActive());
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(longEvents, (std::vector<int>{24 * 60 * 60 * 1000}));
}
