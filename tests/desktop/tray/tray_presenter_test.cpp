// The tray presenter as the tray shows it: which of the four images, the
// tooltip, the blinking, and the icon added again for a new tray host.

#include "desktop/tray/tray_presenter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/text/cp932.h"
#include "desktop/common/icon_resources.h"
#include "desktop/common/qt_text.h"
#include "desktop/tray/tray_icon.h"
#include "support/popup_test_support.h"

using namespace velmora;
using ::testing::ElementsAre;
using velmora::test_support::WaitFor;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "tray_presenter_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// An image as the tray gets it: through a pixmap.
QImage AsShown(const QImage& image) {
    return QPixmap::fromImage(image).toImage().convertToFormat(QImage::Format_ARGB32);
}

QString Utf(const char* s) {
    return QString::fromUtf8(s);
}

class TrayPresenterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        artwork_.normal = IconResourceImage(kIconNormal);
        artwork_.blink = IconResourceImage(kIconBlink);
    }

    TrayPresenter& Make() {
        presenter_ = std::make_unique<TrayPresenter>(artwork_, &clicks_);
        tray_ = presenter_->findChild<CTrayIcon*>();
        if (!tray_) throw std::logic_error("the presenter has no tray icon");
        return *presenter_;
    }

    QImage Shown() const {
        const QSize size = artwork_.normal.size();
        return tray_->Icon().pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    }

    // Which of the four images the tray shows; nothing for another.
    std::optional<TrayImage> Which() const {
        const QImage shown = Shown();
        const struct {
            TrayImage image;
            QImage pixels;
        } known[] = {
            {TrayImage::Normal, AsShown(artwork_.normal)},
            {TrayImage::Blink, AsShown(artwork_.blink)},
            {TrayImage::Error, AsShown(ComposeOverlayImage(artwork_.normal, true))},
            {TrayImage::Communicating, AsShown(ComposeOverlayImage(artwork_.normal, false))},
        };
        for (const auto& k : known) {
            if (k.pixels == shown) return k.image;
        }
        return std::nullopt;
    }

    // The images shown from now until `enough` says so.
    std::vector<TrayImage> Watch(const std::function<bool(const std::vector<TrayImage>&)>& enough) {
        std::vector<TrayImage> seen;
        const bool done = WaitFor(
            [&] {
                const std::optional<TrayImage> now = Which();
                if (now && (seen.empty() || seen.back() != *now)) seen.push_back(*now);
                return enough(seen);
            },
            5000);
        if (!done) ADD_FAILURE() << "the images did not change as expected";
        return seen;
    }

    TrayArtwork artwork_;
    QObject clicks_;
    std::unique_ptr<TrayPresenter> presenter_;
    CTrayIcon* tray_ = nullptr;
};

}  // namespace

TEST_F(TrayPresenterTest, AddShowsTheNormalImageWithTheProgramsName) {
    TrayPresenter& presenter = Make();
    EXPECT_FALSE(tray_->Added());
    presenter.Add();
    EXPECT_TRUE(tray_->Added());
    EXPECT_EQ(Which(), TrayImage::Normal);
    EXPECT_EQ(tray_->Tip(), Utf("ヴェルモラ"));
    // Headless counts as a desktop with a tray.
    EXPECT_FALSE(presenter.WithoutTray());
    presenter.Remove();
    EXPECT_FALSE(tray_->Added());
}

TEST_F(TrayPresenterTest, EachImageIsShownAsAsked) {
    TrayPresenter& presenter = Make();
    presenter.Add();
    for (TrayImage image :
         {TrayImage::Error, TrayImage::Communicating, TrayImage::Blink, TrayImage::Normal}) {
        presenter.SetImage(image);
        EXPECT_EQ(Which(), image) << static_cast<int>(image);
    }
    // The overlays change the picture.
    presenter.SetImage(TrayImage::Error);
    const QImage error = Shown();
    presenter.SetImage(TrayImage::Normal);
    EXPECT_NE(Shown(), error);
}

TEST_F(TrayPresenterTest, OverlaysFallBackToTheNormalImage) {
    // A base the composition cannot use: the normal image stands in.
    QImage tiny(1, 1, QImage::Format_ARGB32);
    tiny.fill(Qt::red);
    artwork_.normal = tiny;
    TrayPresenter& presenter = Make();
    presenter.Add();
    for (TrayImage image : {TrayImage::Error, TrayImage::Communicating}) {
        presenter.SetImage(image);
        EXPECT_FALSE(tray_->Icon().isNull());
        EXPECT_EQ(Shown(), AsShown(tiny)) << static_cast<int>(image);
    }
}

TEST_F(TrayPresenterTest, LongTipIsCutWithoutSplittingACharacter) {
    TrayPresenter& presenter = Make();
    presenter.Add();
    std::string title;
    for (int i = 0; i < 40; ++i) title += "ニ";
    presenter.SetTip(text::Utf8ToCp932(title));
    EXPECT_EQ(Cp932FromQString(tray_->Tip()).size(), 62u);
    EXPECT_EQ(tray_->Tip(), QString::fromStdString(title).left(31));
    presenter.SetTip(text::Utf8ToCp932("通信エラー"));
    EXPECT_EQ(tray_->Tip(), Utf("通信エラー"));
}

TEST_F(TrayPresenterTest, BlinkingAlternatesAndCarriesOnWhereItStopped) {
    TrayPresenter& presenter = Make();
    presenter.Add();
    presenter.SetImage(TrayImage::Error);
    presenter.StartBlinking();
    // The first tick shows the normal image, the next the blink image.
    EXPECT_THAT(Watch([](const auto& seen) { return seen.size() >= 3; }),
                ElementsAre(TrayImage::Error, TrayImage::Normal, TrayImage::Blink));
    // Stopped right after a normal tick, it goes on with the blink image.
    Watch([](const auto& seen) { return seen.back() == TrayImage::Normal; });
    presenter.StopBlinking();
    presenter.SetImage(TrayImage::Error);
    presenter.StartBlinking();
    EXPECT_THAT(Watch([](const auto& seen) { return seen.size() >= 2; }),
                ElementsAre(TrayImage::Error, TrayImage::Blink));

    // Stopped, the image stays as it is set.
    presenter.StopBlinking();
    presenter.SetImage(TrayImage::Communicating);
    WaitFor([] { return false; }, 3 * kBlinkIntervalMs);
    EXPECT_EQ(Which(), TrayImage::Communicating);
    // So it does after the icon is removed.
    presenter.StartBlinking();
    presenter.Remove();
    WaitFor([] { return false; }, 3 * kBlinkIntervalMs);
    EXPECT_EQ(Which(), TrayImage::Communicating);
}

TEST_F(TrayPresenterTest, NewTrayHostGetsTheNormalIconAndTheProgramsName) {
    TrayPresenter& presenter = Make();
    presenter.Add();
    presenter.SetTip("Custom title");
    presenter.SetImage(TrayImage::Error);
    emit tray_->hostRecreated();
    EXPECT_TRUE(tray_->Added());
    EXPECT_EQ(Which(), TrayImage::Normal);
    EXPECT_EQ(tray_->Tip(), Utf("ヴェルモラ"));

    // Once removed at the end, a new host gets nothing.
    presenter.Remove();
    emit tray_->hostRecreated();
    EXPECT_FALSE(tray_->Added());
}
