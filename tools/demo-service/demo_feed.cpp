#include "demo_feed.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/platform/local_time.h"

namespace velmora::demo {
namespace {

struct Story {
    const char* headline;
    const char* detail;
};

// The rotation of ordinary news; numbered editions keep headlines unique.
constexpr std::array<Story, 10> kStories{{
    {"市内循環バス、来月から朝夕を増便",
     "通勤時間帯の待ち時間が半分ほどになります。新しい時刻表は各停留所に掲示されます。"},
    {"ウェブサーバーの HTTP/1.1 対応が全店で完了",
     "古い機器の入れ替えが終わり、各店舗のページの表示が速くなりました。"},
    {"週末は晴れ、行楽日和の見込み",
     "土曜日から日曜日にかけて高気圧に覆われ、気温も平年並みとなる予想です。"},
    {"図書館の開館時間を夜八時まで延長",
     "平日の仕事帰りにも利用できるよう、来週から試験的に実施します。"},
    {"地元産の新米が直売所に並ぶ", "今年は天候に恵まれ、粒のそろった米が収穫されました。"},
    {"駅前広場で秋祭り、屋台は五十店",
     "二日間にわたり、太鼓の演奏や子ども向けの催しが行われます。"},
    {"市民マラソンの参加者を募集", "十キロと五キロの部があり、初心者向けの練習会も開かれます。"},
    {"北地区に新しい公園が完成", "遊具のほか、季節の花を楽しめる散策路が整備されました。"},
    {"商店街でポイントカードが共通化",
     "加盟する八十店舗のどこでもポイントがためられるようになります。"},
    {"高校生が考えた防災アプリを公開", "避難所までの道順を地図で示し、家族の安否も確認できます。"},
}};

constexpr Story kEmergency{
    "【緊急】大雨警報が発表されました",
    "川沿いの地域では早めの避難を心がけてください。最新の情報に注意してください。"};

constexpr std::array<const char*, 3> kTickerMessages{
    "ヴェルモラのデモ配信へようこそ",
    "新しいニュースは数秒ごとに届きます",
    "メンテナンスは毎週水曜日の深夜に行います",
};

constexpr int kPictureCount = 6;

void AppendEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
}

void AppendElement(std::string& out, const char* name, const std::string& text) {
    out += '<';
    out += name;
    out += '>';
    AppendEscaped(out, text);
    out += "</";
    out += name;
    out += ">\n";
}

}  // namespace

std::string FormatDate(std::time_t when) {
    const std::tm local = platform::LocalTime(when).value_or(std::tm{});
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+09:00", &local);
    return text;
}

std::string TickerDescription() {
    std::string out;
    for (std::size_t i = 0; i < kTickerMessages.size(); ++i) {
        if (i != 0) out += '|';
        out += kTickerMessages[i];
    }
    return out;
}

std::string TickerLinks(const std::string& baseUrl) {
    std::string out;
    for (std::size_t i = 0; i < kTickerMessages.size(); ++i) {
        if (i != 0) out += '|';
        out += baseUrl + "/ticker/" + std::to_string(i + 1) + ".html";
    }
    return out;
}

DemoFeed::DemoFeed(std::string baseUrl) : baseUrl_(std::move(baseUrl)) {}

void DemoFeed::SetBaseUrl(std::string baseUrl) {
    baseUrl_ = std::move(baseUrl);
    dirty_ = true;
}

DemoItem DemoFeed::MakeItem(std::time_t when) {
    DemoItem item;
    item.number = nextNumber_++;
    const Story& story = kStories[static_cast<std::size_t>(item.number - 1) % kStories.size()];
    item.headline = story.headline;
    if (item.number > static_cast<int>(kStories.size())) {
        item.headline += "（第" + std::to_string(item.number) + "報）";
    }
    item.detail = story.detail;
    item.dateText = FormatDate(when);
    item.picture = (item.number - 1) % kPictureCount + 1;
    return item;
}

void DemoFeed::AddItem(std::time_t now) {
    items_.insert(items_.begin(), MakeItem(now));
    dirty_ = true;
}

void DemoFeed::Reset(std::size_t count, std::time_t now) {
    items_.clear();
    nextNumber_ = 1;
    if (count == 0) {
        dirty_ = true;
        return;
    }
    // The emergency item stands first among the starting items.
    DemoItem emergency = MakeItem(now);
    emergency.headline = kEmergency.headline;
    emergency.detail = kEmergency.detail;
    emergency.emergency = true;
    items_.reserve(count);
    for (std::size_t i = 1; i < count; ++i) {
        items_.push_back(MakeItem(now - static_cast<std::time_t>(i) * 60));
    }
    items_.insert(items_.begin(), std::move(emergency));
    dirty_ = true;
}

bool DemoFeed::Redate(std::size_t index) {
    if (index >= items_.size()) return false;
    // Same moment written differently still counts as a change for the client;
    // a later minute keeps it plausible.
    std::string& date = items_[index].dateText;
    std::tm parsed{};
    if (std::sscanf(date.c_str(), "%d-%d-%dT%d:%d:%d", &parsed.tm_year, &parsed.tm_mon,
                    &parsed.tm_mday, &parsed.tm_hour, &parsed.tm_min, &parsed.tm_sec) == 6) {
        parsed.tm_year -= 1900;
        parsed.tm_mon -= 1;
        parsed.tm_min += 1;
        parsed.tm_isdst = -1;
        date = FormatDate(std::mktime(&parsed));
    } else {
        date += " ";
    }
    dirty_ = true;
    return true;
}

const DemoItem* DemoFeed::FindItem(int number) const {
    for (const DemoItem& item : items_) {
        if (item.number == number) return &item;
    }
    return nullptr;
}

const std::string& DemoFeed::Document() {
    if (!dirty_) return document_;
    std::string& out = document_;
    out.clear();
    out.reserve(256 + items_.size() * 420);
    out +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\""
        " xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "<channel>\n";
    AppendElement(out, "title", "ヴェルモラ デモ配信");
    AppendElement(out, "link", TickerLinks(baseUrl_));
    AppendElement(out, "description", TickerDescription());
    AppendElement(out, "dc:date", items_.empty() ? std::string() : items_.front().dateText);
    out += "</channel>\n";
    for (const DemoItem& item : items_) {
        const std::string number = std::to_string(item.number);
        out += "<item>\n";
        AppendElement(out, "dc.subject", item.headline);
        AppendElement(out, "link", baseUrl_ + "/news/" + number + ".html");
        AppendElement(out, "title", item.detail);
        AppendElement(out, "dc:date", item.dateText);
        if (item.emergency) AppendElement(out, "dc:subject", "emergency");
        AppendElement(out, "dc.coverage",
                      baseUrl_ + "/images/" + std::to_string(item.picture) + ".png");
        out += "</item>\n";
    }
    out += "</rdf:RDF>\n";
    dirty_ = false;
    return out;
}

std::string ItemPage(const DemoItem* item) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"UTF-8\"><title>";
    if (item == nullptr) {
        page +=
            "ヴェルモラ デモ配信</title></head><body><h1>ヴェルモラ デモ配信</h1>"
            "<p>このサーバーはデモ用の配信サービスです。</p></body></html>\n";
        return page;
    }
    AppendEscaped(page, item->headline);
    page += "</title></head><body><h1>";
    AppendEscaped(page, item->headline);
    page += "</h1><p>";
    AppendEscaped(page, item->dateText);
    page += "</p><p><img src=\"/images/" + std::to_string(item->picture) +
            ".png\" width=\"120\" height=\"80\" alt=\"\"></p><p>";
    AppendEscaped(page, item->detail);
    page += "</p></body></html>\n";
    return page;
}

}  // namespace velmora::demo
