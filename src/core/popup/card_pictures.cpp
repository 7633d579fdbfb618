#include "core/popup/card_pictures.h"

#include <algorithm>
#include <exception>

#include "core/popup/card_escaping.h"

namespace velmora {
namespace {

// Only what a card would show from the web: no placeholder, no other scheme.
bool IsFetched(const std::string& cp932Address) {
    const std::string address = CardPictureAddress(cp932Address);
    return !address.empty() && address != kPlaceholderAddress;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

TransferLimits PictureTransferLimits() {
    TransferLimits limits;
    limits.connectSeconds = 15;
    limits.lowSpeedSeconds = 20;
    limits.overallSeconds = 60;
    limits.maxAnswerBytes = kMaxPictureBytes;
    return limits;
}

CardPictures::CardPictures(Transfer& transfer, Decode decode, Ready ready)
    : transfer_(transfer), decode_(std::move(decode)), ready_(std::move(ready)) {}

CardPictures::~CardPictures() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        queue_.clear();
    }
    stop_.request_stop();
    wanted_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void CardPictures::Show(const std::vector<std::string>& cp932Addresses) {
    shown_ = cp932Addresses;
    for (const std::string& address : shown_) {
        if (const auto found = cache_.find(address); found != cache_.end())
            found->second.used = ++uses_;
    }
    bool any = false;
    {
        std::lock_guard lock(mutex_);
        for (auto it = queue_.begin(); it != queue_.end();) {
            if (Contains(shown_, *it)) {
                ++it;
                continue;
            }
            underway_.erase(*it);
            it = queue_.erase(it);
        }
        for (const std::string& address : shown_) {
            if (!IsFetched(address) || cache_.count(address) || underway_.count(address)) continue;
            queue_.push_back(address);
            underway_.insert(address);
        }
        any = !queue_.empty();
        if (any && !worker_.joinable()) worker_ = std::thread(&CardPictures::Run, this);
    }
    if (any) wanted_.notify_one();
}

void CardPictures::Run() {
    for (;;) {
        std::string address;
        {
            std::unique_lock lock(mutex_);
            wanted_.wait(lock, [this] { return ending_ || !queue_.empty(); });
            if (ending_) return;
            address = std::move(queue_.front());
            queue_.pop_front();
        }
        Answer answer = Fetch(address, stop_.get_token());
        {
            std::lock_guard lock(mutex_);
            underway_.erase(address);
            if (ending_) return;
            answers_.push_back(std::move(answer));
        }
        if (ready_) ready_();
    }
}

CardPictures::Answer CardPictures::Fetch(const std::string& address, std::stop_token stop) {
    Answer answer{address, nullptr, {}};
    // A thread of its own must not end the program for one bad picture.
    try {
        const TransferAnswer got = transfer_.Get(address, 0, stop);
        if (got.kind == TransferAnswer::Kind::Failed) {
            answer.why = got.failure.empty() ? "no answer" : got.failure;
        } else if (got.kind == TransferAnswer::Kind::HeaderBlock) {
            answer.why = "HTTP status " + std::to_string(got.status);
        } else if (got.bytes.size() > kMaxPictureBytes) {
            answer.why = "answer longer than " + std::to_string(kMaxPictureBytes) + " bytes";
        } else {
            answer.picture = decode_(got.bytes, answer.why);
            if (!answer.picture && answer.why.empty()) answer.why = "not a picture";
        }
    } catch (const std::exception& e) {
        answer.picture.reset();
        answer.why = e.what();
    } catch (...) {
        answer.picture.reset();
        answer.why = "unknown failure";
    }
    return answer;
}

CardPictures::Taken CardPictures::TakeAnswers() {
    std::vector<Answer> got;
    {
        std::lock_guard lock(mutex_);
        got.swap(answers_);
    }
    Taken taken;
    for (Answer& answer : got) {
        // Late for a page no longer shown: fetched again should it come back.
        if (!Contains(shown_, answer.address)) continue;
        if (answer.picture)
            taken.shownChanged = true;
        else if (told_.insert(answer.address).second)
            taken.failures.push_back({answer.address, answer.why});
        Keep(std::move(answer));
    }
    return taken;
}

void CardPictures::Keep(Answer answer) {
    cache_[answer.address] = {std::move(answer.picture), ++uses_};
    while (cache_.size() > kCachedPictures) {
        auto oldest = cache_.end();
        for (auto it = cache_.begin(); it != cache_.end(); ++it) {
            if (Contains(shown_, it->first)) continue;
            if (oldest == cache_.end() || it->second.used < oldest->second.used) oldest = it;
        }
        if (oldest == cache_.end()) break;
        cache_.erase(oldest);
    }
}

const CardPicture* CardPictures::Picture(const std::string& cp932Address) const {
    const auto found = cache_.find(cp932Address);
    return found == cache_.end() ? nullptr : found->second.picture.get();
}

}  // namespace velmora
