#include "core/popup/card_pictures.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "core/popup/card_escaping.h"
#include "core/popup/card_layout.h"
#include "support/delivery_fakes.h"

namespace velmora {
namespace {

using test_support::BodyAnswer;
using test_support::FakeTransfer;
using test_support::HeaderAnswer;

class SizedPicture final : public CardPicture {
  public:
    explicit SizedPicture(int width) : width_(width) {}
    int Width() const override { return width_; }
    int Height() const override { return 20; }

  private:
    int width_;
};

// "W<n>" decodes to a picture n pixels wide; anything else is no picture.
std::shared_ptr<const CardPicture> Decode(std::string_view bytes, std::string& why) {
    if (bytes.size() < 2 || bytes[0] != 'W') {
        why = "garbage";
        return nullptr;
    }
    return std::make_shared<SizedPicture>(std::stoi(std::string(bytes.substr(1))));
}

// Counts the fetching thread's calls and lets the test wait for them.
class Answers {
  public:
    CardPictures::Ready Ready() {
        return [this] {
            std::lock_guard lock(mutex_);
            ++ready_;
            changed_.notify_all();
        };
    }
    // Blocks until `n` answers in all were told (ctest's time limit catches a hang).
    void WaitFor(int n) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ready_ >= n; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int ready_ = 0;
};

TEST(CardPicturesTest, FetchesEachShownWebPictureOnceAndTellsAFailureOnce) {
    FakeTransfer transfer;
    transfer.Answer("http://pics.example/ok.png", BodyAnswer("W240"));
    transfer.Answer("http://pics.example/gone.png", HeaderAnswer(404, "Not Found"));
    transfer.Answer("http://pics.example/text.png", BodyAnswer("<html>"));
    Answers answers;
    CardPictures pictures(transfer, Decode, answers.Ready());

    const std::vector<std::string> shown = {
        "http://pics.example/ok.png",   "http://pics.example/gone.png",
        "http://pics.example/text.png", std::string(kPlaceholderAddress),
        "javascript:alert(1)",          ""};
    pictures.Show(shown);
    answers.WaitFor(3);
    CardPictures::Taken taken = pictures.TakeAnswers();
    EXPECT_TRUE(taken.shownChanged);
    ASSERT_EQ(taken.failures.size(), 2u);
    EXPECT_EQ(taken.failures[0].address, "http://pics.example/gone.png");
    EXPECT_EQ(taken.failures[0].why, "HTTP status 404");
    EXPECT_EQ(taken.failures[1].why, "garbage");
    ASSERT_NE(pictures.Picture("http://pics.example/ok.png"), nullptr);
    EXPECT_EQ(pictures.Picture("http://pics.example/ok.png")->Width(), 240);
    EXPECT_EQ(pictures.Picture("http://pics.example/gone.png"), nullptr);
    // Only the web addresses went out, each once; shown again, nothing more.
    ASSERT_EQ(transfer.calls.size(), 3u);
    EXPECT_EQ(transfer.calls[2].address, "http://pics.example/text.png");
    pictures.Show(shown);
    EXPECT_EQ(transfer.calls.size(), 3u);
    taken = pictures.TakeAnswers();
    EXPECT_FALSE(taken.shownChanged);
    EXPECT_TRUE(taken.failures.empty());
}

// Holds the first address until the test lets it go; any fetch ends when stopped.
class HeldTransfer final : public Transfer {
  public:
    TransferAnswer Get(const std::string& address, std::uint32_t, std::stop_token stop) override {
        std::unique_lock lock(mutex_);
        started_.push_back(address);
        changed_.notify_all();
        changed_.wait(lock, stop, [&] { return released_ || address != started_.front(); });
        if (stop.stop_requested()) return test_support::FailedAnswer("cancelled");
        return BodyAnswer("W" + std::to_string(started_.size()));
    }
    void WaitForStarts(std::size_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return started_.size() >= n; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::vector<std::string> started_;
    bool released_ = false;
};

TEST(CardPicturesTest, AnAnswerLateForItsPageIsDroppedAndEndingStopsTheFetch) {
    HeldTransfer transfer;
    Answers answers;
    {
        CardPictures pictures(transfer, Decode, answers.Ready());
        pictures.Show({"http://pics.example/1.png"});
        transfer.WaitForStarts(1);
        // Paged on before the first picture came.
        pictures.Show({"http://pics.example/2.png"});
        transfer.Release();
        answers.WaitFor(2);
        EXPECT_TRUE(pictures.TakeAnswers().shownChanged);
        EXPECT_EQ(pictures.Picture("http://pics.example/1.png"), nullptr);
        EXPECT_NE(pictures.Picture("http://pics.example/2.png"), nullptr);
    }
    HeldTransfer stuck;
    {
        CardPictures pictures(stuck, Decode, answers.Ready());
        pictures.Show({"http://pics.example/3.png"});
        stuck.WaitForStarts(1);
    }  // returns only once the held fetch was stopped
}

TEST(CardPicturesTest, APictureFitsItsBoxAsThePageScriptFitsIt) {
    EXPECT_EQ(FitCardPicture(240, 80), (PictureSize{120, 40}));
    EXPECT_EQ(FitCardPicture(60, 40), (PictureSize{60, 40}));
    EXPECT_EQ(FitCardPicture(100, 300), (PictureSize{26, 80}));
    EXPECT_EQ(FitCardPicture(0, 80), (PictureSize{}));
}

}  // namespace
}  // namespace velmora
