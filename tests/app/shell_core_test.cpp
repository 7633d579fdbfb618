// The Qt-free parts of the shell: overlay composition, tooltip cuts, the
// blink step, data paths and the quittable transfer.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/delivery/quittable_transfer.h"
#include "core/platform/data_paths.h"
#include "core/text/cp932.h"
#include "core/tray/icon_image.h"
#include "core/tray/tray_state.h"
#include "support/hive_sandbox.h"

using namespace velmora;
using velmora::test_support::ScopedEnv;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

// Every pixel opaque with a colour telling its place.
IconImage Base(int size) {
    IconImage image = IconImage::Blank(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            image.SetColour(x, y, 0xFF000000u | static_cast<std::uint32_t>(x << 8 | y));
            image.SetMask(x, y, 0);
        }
    }
    return image;
}

}  // namespace

TEST(OverlayIcon, OverlayChoiceFollowsTheBaseSize) {
    EXPECT_EQ(OverlayResourceFor(IconImage::Blank(16, 16), true), kOverlayError16);
    EXPECT_EQ(OverlayResourceFor(IconImage::Blank(16, 16), false), kOverlayBusy16);
    EXPECT_EQ(OverlayResourceFor(IconImage::Blank(17, 17), true), kOverlayError16);
    EXPECT_EQ(OverlayResourceFor(IconImage::Blank(32, 32), true), kOverlayError32);
    EXPECT_EQ(OverlayResourceFor(IconImage::Blank(32, 32), false), kOverlayBusy32);
    EXPECT_EQ(OverlayResourceFor(IconImage::Blank(48, 48), false), kOverlayBusy32);
    EXPECT_EQ(OverlayResourceFor(IconImage::Blank(24, 24), true), kOverlayError32);
}

TEST(OverlayIcon, ColourAndMaskPlanesPixelByPixel) {
    IconImage base = Base(32);
    base.SetMask(5, 20, 1);                        // transparent in the base, opaque in the overlay
    base.SetMask(9, 9, 1);                         // transparent in both
    IconImage overlay = IconImage::Blank(32, 32);  // key colour 0 everywhere
    overlay.SetColour(5, 20, kRed);
    overlay.SetMask(5, 20, 0);
    overlay.SetColour(6, 20, 0);  // key colour, but opaque: base colour, opaque mask
    overlay.SetMask(6, 20, 0);
    base.SetMask(6, 20, 1);
    overlay.SetColour(7, 20, kWhite);  // colour without the mask: colour only
    base.SetMask(7, 20, 1);

    const std::optional<IconImage> result = ComposeOverlayIcon(base, overlay);
    ASSERT_TRUE(result.has_value());
    ASSERT_EQ(result->width, 32);
    ASSERT_EQ(result->height, 32);
    EXPECT_EQ(result->ColourAt(5, 20), kRed);
    EXPECT_EQ(result->MaskAt(5, 20), 0);
    EXPECT_EQ(result->ColourAt(6, 20), base.ColourAt(6, 20));
    EXPECT_EQ(result->MaskAt(6, 20), 0);
    EXPECT_EQ(result->ColourAt(7, 20), kWhite);
    EXPECT_EQ(result->MaskAt(7, 20), 1);
    EXPECT_EQ(result->ColourAt(9, 9), base.ColourAt(9, 9));
    EXPECT_EQ(result->MaskAt(9, 9), 1);
    int changed = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (result->ColourAt(x, y) != base.ColourAt(x, y) ||
                result->MaskAt(x, y) != base.MaskAt(x, y)) {
                ++changed;
            }
        }
    }
    EXPECT_EQ(changed, 3);
}

TEST(OverlayIcon, KeyColourIsTheOverlaysFirstPixel) {
    const std::uint32_t green = 0xFF00FF00u;
    IconImage overlay = IconImage::Blank(16, 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) overlay.SetColour(x, y, green);
    }
    overlay.SetColour(3, 12, kRed);
    overlay.SetColour(0, 1, 0);  // not the key colour here: written
    const IconImage base = Base(16);
    const std::optional<IconImage> result = ComposeOverlayIcon(base, overlay);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ColourAt(3, 12), kRed);
    EXPECT_EQ(result->ColourAt(0, 1), 0u);
    EXPECT_EQ(result->ColourAt(10, 10), base.ColourAt(10, 10));
    EXPECT_EQ(result->ColourAt(0, 0), base.ColourAt(0, 0));
}

TEST(OverlayIcon, BaseLargerThanOverlayKeepsItsOwnPixelsOutside) {
    IconImage base = Base(48);
    base.SetMask(40, 40, 1);
    IconImage overlay = IconImage::Blank(32, 32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            overlay.SetColour(x, y, x == 0 && y == 0 ? 0 : kRed);
            overlay.SetMask(x, y, x == 0 && y == 0 ? 1 : 0);
        }
    }
    const std::optional<IconImage> result = ComposeOverlayIcon(base, overlay);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->width, 48);
    EXPECT_EQ(result->ColourAt(31, 31), kRed);
    EXPECT_EQ(result->ColourAt(32, 5), base.ColourAt(32, 5));
    EXPECT_EQ(result->ColourAt(5, 32), base.ColourAt(5, 32));
    EXPECT_EQ(result->ColourAt(40, 40), base.ColourAt(40, 40));
    EXPECT_EQ(result->MaskAt(40, 40), 1);
    EXPECT_EQ(result->MaskAt(47, 47), 0);
}

TEST(OverlayIcon, SizeIsTwiceTheHotspot) {
    IconImage overlay = IconImage::Blank(32, 32);
    overlay.SetColour(20, 20, kRed);
    overlay.SetMask(20, 20, 0);
    const std::optional<IconImage> small = ComposeOverlayIcon(Base(24), overlay);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width, 24);
    EXPECT_EQ(small->ColourAt(20, 20), kRed);
    const std::optional<IconImage> odd = ComposeOverlayIcon(Base(17), IconImage::Blank(16, 16));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->width, 16);
    EXPECT_EQ(odd->height, 16);
}

TEST(OverlayIcon, BrokenImagesGiveNothing) {
    EXPECT_FALSE(ComposeOverlayIcon(IconImage{}, IconImage::Blank(16, 16)));
    EXPECT_FALSE(ComposeOverlayIcon(Base(16), IconImage{}));
    EXPECT_FALSE(ComposeOverlayIcon(IconImage::Blank(1, 1), IconImage::Blank(16, 16)));
    IconImage torn = Base(16);
    torn.mask.pop_back();
    EXPECT_FALSE(ComposeOverlayIcon(torn, IconImage::Blank(16, 16)));
}

TEST(TrayTip, CutsAt63BytesWithoutSplittingACharacter) {
    const std::string ascii(70, 'a');
    EXPECT_EQ(TrayTipText(ascii), std::string(63, 'a'));
    EXPECT_EQ(TrayTipText("short"), "short");
    EXPECT_EQ(TrayTipText(""), "");

    std::string wide;  // 32 double-byte characters, 64 bytes
    for (int i = 0; i < 32; ++i) wide += text::Utf8ToCp932("ニ");
    ASSERT_EQ(wide.size(), 64u);
    EXPECT_EQ(TrayTipText(wide), wide.substr(0, 62));
    EXPECT_EQ(TrayTipText("a" + wide), "a" + wide.substr(0, 62));
    EXPECT_EQ(TrayTipText(wide.substr(0, 62) + "ab"), wide.substr(0, 62) + "a");

    // Half-width katakana are single bytes.
    std::string kana;
    for (int i = 0; i < 70; ++i) kana += text::Utf8ToCp932("ｱ");
    EXPECT_EQ(TrayTipText(kana).size(), 63u);

    // A trail byte that looks like a lead byte is not mistaken for one.
    ASSERT_EQ(text::Utf8ToCp932("検"), "\x8C\x9F");
    std::string tricky = std::string(61, 'x') + text::Utf8ToCp932("検") + "z";
    ASSERT_EQ(tricky.size(), 64u);
    EXPECT_EQ(TrayTipText(tricky), tricky.substr(0, 63));
}

TEST(BlinkStep, AlternatesAndNeverResets) {
    std::int32_t phase = 1;  // as the sheet starts
    EXPECT_EQ(BlinkStep(phase), TrayImage::Normal);
    EXPECT_EQ(BlinkStep(phase), TrayImage::Blink);
    EXPECT_EQ(BlinkStep(phase), TrayImage::Normal);
    // Stopped here; the next blinking goes on from the phase left behind.
    EXPECT_EQ(BlinkStep(phase), TrayImage::Blink);
    phase = 7;
    EXPECT_EQ(BlinkStep(phase), TrayImage::Blink);
    EXPECT_EQ(phase, 0);
}

TEST(DataPaths, InstanceNameIsTheFileNameWithoutExtension) {
    EXPECT_EQ(InstanceNameFromPath("/usr/bin/velmora"), "velmora");
    EXPECT_EQ(InstanceNameFromPath("/opt/v/VELMORA.exe"), "VELMORA");
    EXPECT_EQ(InstanceNameFromPath("velmora2"), "velmora2");
    EXPECT_EQ(InstanceNameFromPath("/x/a.b.c"), "a.b");
    EXPECT_EQ(InstanceNameFromPath("/x/.hidden"), ".hidden");
}

TEST(DataPaths, FolderIsCreatedOnceAndKept) {
    ScopedEnv dataHome("XDG_DATA_HOME");
    ScopedEnv home("HOME");
    std::string pattern = (fs::temp_directory_path() / "velmora-paths-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;

    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    const fs::path folder = PrepareDataFolder();
    EXPECT_EQ(folder, root / "data" / "VELMORA");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(ItemStorePath(folder), root / "data" / "VELMORA" / "VELMORA.dat");
    velmora::test_support::WriteBytes(folder / "VELMORA.dat", "kept");
    EXPECT_EQ(PrepareDataFolder(), folder);
    EXPECT_EQ(velmora::test_support::ReadBytes(folder / "VELMORA.dat"), "kept");

    // A relative XDG_DATA_HOME is not used; the home folder's default is.
    setenv("XDG_DATA_HOME", "relative/data", 1);
    setenv("HOME", (root / "home").c_str(), 1);
    EXPECT_EQ(UserDataHome(), root / "home" / ".local" / "share");
    EXPECT_EQ(PrepareDataFolder(), root / "home" / ".local" / "share" / "VELMORA");
    EXPECT_TRUE(fs::is_directory(root / "home" / ".local" / "share" / "VELMORA"));
    fs::remove_all(root);
}

namespace {

// Blocks until stopped, or answers at once when `block` is false.
class BlockingTransfer final : public Transfer {
  public:
    TransferAnswer Get(const std::string&, std::uint32_t, std::stop_token stop) override {
        ++calls;
        if (!block) {
            TransferAnswer a;
            a.kind = TransferAnswer::Kind::Body;
            a.bytes = "ok";
            return a;
        }
        std::mutex m;
        std::condition_variable_any cv;
        std::unique_lock lock(m);
        entered = true;
        cv.wait(lock, stop, [] { return false; });
        TransferAnswer a;
        a.failure = "stopped";
        return a;
    }
    std::atomic<int> calls{0};
    std::atomic<bool> entered{false};
    bool block = true;
};

}  // namespace

TEST(QuittableTransfer, QuitStopsTheRunningRequestAndRefusesLaterOnes) {
    BlockingTransfer inner;
    QuittableTransfer transfer(inner);
    TransferAnswer answer;
    answer.kind = TransferAnswer::Kind::Body;
    std::thread running([&] { answer = transfer.Get("http://x/", 0); });
    while (!inner.entered) std::this_thread::yield();
    transfer.Quit();
    running.join();
    EXPECT_EQ(answer.kind, TransferAnswer::Kind::Failed);
    EXPECT_EQ(answer.failure, "stopped");

    inner.block = false;
    const TransferAnswer later = transfer.Get("http://x/", 0);
    EXPECT_EQ(later.kind, TransferAnswer::Kind::Failed);
    EXPECT_EQ(inner.calls, 1);
}

TEST(QuittableTransfer, PassesRequestsThroughUntilQuit) {
    BlockingTransfer inner;
    inner.block = false;
    QuittableTransfer transfer(inner);
    EXPECT_EQ(transfer.Get("http://x/", 0).kind, TransferAnswer::Kind::Body);
    EXPECT_FALSE(transfer.Quitting());
}
