#pragma once
// Test doubles for the delivery cycle: a transfer answering from a table, a
// recording DeliveryUi, and builders for the service's documents.

#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/delivery/delivery_ui.h"
#include "core/delivery/transfer.h"

namespace velmora::test_support {

inline TransferAnswer BodyAnswer(std::string bytes) {
    TransferAnswer answer;
    answer.kind = TransferAnswer::Kind::Body;
    answer.status = 200;
    answer.bytes = std::move(bytes);
    return answer;
}

inline TransferAnswer HeaderAnswer(long status, const std::string& reason) {
    TransferAnswer answer;
    answer.kind = TransferAnswer::Kind::HeaderBlock;
    answer.status = status;
    answer.bytes = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                   "\r\nContent-Type: text/plain\r\n\r\n";
    return answer;
}

inline TransferAnswer FailedAnswer(std::string why = "Couldn't connect to server") {
    TransferAnswer answer;
    answer.kind = TransferAnswer::Kind::Failed;
    answer.failure = std::move(why);
    return answer;
}

struct ChannelEntry {
    std::string headline;  // UTF-8
    std::string date;
};

// An RDF channel document with one item per entry, in order.
inline std::string ChannelDocument(const std::vector<ChannelEntry>& entries,
                                   const std::string& title = "Test channel") {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\""
        " xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "<channel><title>" +
        title + "</title><link>http://example.test/</link></channel>\n";
    for (const ChannelEntry& e : entries) {
        doc += "<item><dc.subject>" + e.headline +
               "</dc.subject><link>http://example.test/item</link><title>detail</title><dc:date>" +
               e.date + "</dc:date></item>\n";
    }
    doc += "</rdf:RDF>\n";
    return doc;
}

inline std::string IdentityDocument(const std::string& id, const std::string& key) {
    return "<?xml version=\"1.0\"?><LuMoClient><id>" + id + "</id><key>" + key +
           "</key></LuMoClient>";
}

// Answers each address from the first rule whose prefix it starts with. A rule
// gives its answers in turn and repeats the last one.
class FakeTransfer final : public Transfer {
  public:
    struct Call {
        std::string address;
        std::uint32_t timeoutSeconds;
    };

    void Answer(const std::string& prefix, TransferAnswer answer) {
        for (Rule& rule : rules_) {
            if (rule.prefix == prefix) {
                rule.answers.push_back(std::move(answer));
                return;
            }
        }
        rules_.push_back({prefix, {std::move(answer)}, 0});
    }
    // Drops every rule for `prefix` and answers it with `answer` from now on.
    void Replace(const std::string& prefix, TransferAnswer answer) {
        for (Rule& rule : rules_) {
            if (rule.prefix == prefix) rule = {prefix, {std::move(answer)}, 0};
        }
    }

    TransferAnswer Get(const std::string& address, std::uint32_t timeoutSeconds,
                       std::stop_token) override {
        calls.push_back({address, timeoutSeconds});
        if (during) during(address);
        if (throwOnNextCall) {
            throwOnNextCall = false;
            throw std::runtime_error("transfer blew up");
        }
        for (Rule& rule : rules_) {
            if (address.rfind(rule.prefix, 0) == 0) {
                const TransferAnswer& answer = rule.answers[rule.next];
                if (rule.next + 1 < rule.answers.size()) ++rule.next;
                return answer;
            }
        }
        return FailedAnswer("Could not resolve host");
    }

    std::vector<Call> calls;
    std::function<void(const std::string& address)> during;  // runs inside each Get
    bool throwOnNextCall = false;

  private:
    struct Rule {
        std::string prefix;
        std::vector<TransferAnswer> answers;
        std::size_t next;
    };
    std::vector<Rule> rules_;
};

// Keeps what the cycle showed and answers the delivery number dialog from a queue
// (an empty queue cancels the dialog).
class RecordingDeliveryUi final : public DeliveryUi {
  public:
    void SetTrayImage(TrayImage image) override {
        this->image = image;
        images.push_back(image);
    }
    void SetTrayTip(const std::string& text) override {
        tip = text;
        tips.push_back(text);
    }
    void StartPollTimer(std::uint32_t intervalMs) override {
        timerRunning = true;
        interval = intervalMs;
        ++timerStarts;
    }
    void StopPollTimer() override { timerRunning = false; }
    DeliveryNumberAnswer AskDeliveryNumber(const std::string& prompt,
                                           const std::string& deliveryNo) override {
        prompts.push_back(prompt);
        prefilled.push_back(deliveryNo);
        if (answers.empty()) return {};
        DeliveryNumberAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void PostTrayClick() override { ++clicks; }

    void Accept(std::string number, std::string password) {
        answers.push_back({true, std::move(number), std::move(password)});
    }

    TrayImage image = TrayImage::Normal;
    std::vector<TrayImage> images;
    std::string tip;
    std::vector<std::string> tips;
    bool timerRunning = false;
    std::uint32_t interval = 0;
    int timerStarts = 0;
    std::vector<std::string> prompts;
    std::vector<std::string> prefilled;
    std::deque<DeliveryNumberAnswer> answers;
    int clicks = 0;
};

}  // namespace velmora::test_support
