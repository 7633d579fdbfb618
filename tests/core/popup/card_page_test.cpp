#include "core/popup/card_page.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/popup/card_escaping.h"
#include "support/shipped_templates.h"

namespace velmora {
namespace {

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Small templates that show where each argument lands.
CardTemplates MarkerTemplates() {
    return {"<html><head><title>t</title></head><body>[%s][%s]<script>go()</script></body></html>",
            "<script>img%d.src = \"%s\";</script><a href=\"%s\" id=\"c%d\">"
            "<a href=\"%s\">%s</a><a href=\"%s\">%s</a>",
            "<script>img%d.src = \"E\";</script>"};
}

CardRecord Item(std::string headline, std::string link = "http://news.example/1",
                std::string image = "http://news.example/1.png", std::string detail = "detail") {
    return {std::move(headline), std::move(detail), std::move(link), std::move(image)};
}

TEST(FormatTemplateTest, FillsInOrderAndNeverRereadsArguments) {
    EXPECT_EQ(FormatTemplate("a%sb%dc", {"X", "7"}), "aXb7c");
    EXPECT_EQ(FormatTemplate("%s", {"100%s %d %%"}), "100%s %d %%");
    EXPECT_EQ(FormatTemplate("50%% off %s", {"now"}), "50% off now");
    // Missing arguments give nothing; other % sequences stay.
    EXPECT_EQ(FormatTemplate("[%s][%s]", {"only"}), "[only][]");
    EXPECT_EQ(FormatTemplate("%x %", {}), "%x %");
}

TEST(FormatTemplateTest, GrowsPastAnyFixedBuffer) {
    const std::string longText(50000, 'x');
    const std::string out = FormatTemplate("<%s>", {longText});
    EXPECT_EQ(out.size(), 50002u);
    EXPECT_EQ(out.front(), '<');
    EXPECT_EQ(out.back(), '>');
}

TEST(ComposePageTest, TwoItemsFillBothCards) {
    const std::vector<CardRecord> items = {Item("H1", "http://a/1", "http://a/1.png", "D1"),
                                           Item("H2", "http://a/2", "http://a/2.png", "D2")};
    const std::string page = ComposePage(MarkerTemplates(), items, 0, "N");
    EXPECT_NE(page.find("img1.src = \"http://a/1.png\";</script><a href=\"http://a/1\" id=\"c1\">"
                        "<a href=\"http://a/1\">H1</a><a href=\"http://a/1\">D1</a>"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("img2.src = \"http://a/2.png\""), std::string::npos);
    EXPECT_NE(page.find(">H2</a><a href=\"http://a/2\">D2</a>]"), std::string::npos);
}

TEST(ComposePageTest, MissingItemsGiveEmptyCards) {
    const std::string none = ComposePage(MarkerTemplates(), {}, 0, "N");
    EXPECT_NE(none.find("[<script nonce=\"N\">img1.src = \"E\";</script>]"
                        "[<script nonce=\"N\">img2.src = \"E\";</script>]"),
              std::string::npos)
        << none;
    const std::string one = ComposePage(MarkerTemplates(), {Item("Only")}, 0, "N");
    EXPECT_NE(one.find(">Only</a>"), std::string::npos);
    EXPECT_NE(one.find("img2.src = \"E\""), std::string::npos);
}

TEST(ComposePageTest, PageSelectsTheLeftItem) {
    const std::vector<CardRecord> items = {Item("I0"), Item("I1"), Item("I2")};
    const std::string page1 = ComposePage(MarkerTemplates(), items, 1, "N");
    EXPECT_EQ(page1.find(">I0<"), std::string::npos);
    EXPECT_LT(page1.find(">I1<"), page1.find(">I2<"));
}

TEST(ComposePageTest, HeadlineWithPercentIsUnchanged) {
    const std::string headline = "Rates up 5% %s %d %% %n";
    const std::string page = ComposePage(MarkerTemplates(), {Item(headline)}, 0, "N");
    EXPECT_NE(page.find(">" + headline + "</a>"), std::string::npos) << page;
}

TEST(ComposePageTest, PolicyComesFirstAndOnlyTemplateScriptsCarryTheNonce) {
    const std::vector<CardRecord> items = {
        Item("<b>bold</b><script>alert(1)</script><SCRIPT src=x></SCRIPT>", "http://a/1",
             "http://a/1.png", "<img src=x onerror=alert(2)>")};
    const std::string page = ComposePage(MarkerTemplates(), items, 0, "abc123");
    const std::size_t meta = page.find("<meta http-equiv=\"Content-Security-Policy\"");
    ASSERT_NE(meta, std::string::npos);
    EXPECT_EQ(meta, page.find("<head>") + 6);
    EXPECT_NE(page.find("script-src 'nonce-abc123'"), std::string::npos);
    EXPECT_EQ(page.find("unsafe-eval"), std::string::npos);
    EXPECT_EQ(page.find("script-src 'unsafe-inline'"), std::string::npos);
    // Page script, card script, empty-card script: three nonces, none on the feed's scripts.
    EXPECT_EQ(CountOf(page, "nonce=\"abc123\""), 3u);
    EXPECT_NE(page.find("<b>bold</b><script>alert(1)</script><SCRIPT src=x></SCRIPT>"),
              std::string::npos);
    EXPECT_NE(page.find("<img src=x onerror=alert(2)>"), std::string::npos);
}

TEST(ComposePageTest, FreshNoncesDiffer) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string nonce = NewPageNonce();
        EXPECT_EQ(nonce.size(), 32u);
        EXPECT_EQ(nonce.find_first_not_of("0123456789abcdef"), std::string::npos);
        seen.insert(nonce);
    }
    EXPECT_EQ(seen.size(), 50u);
}

TEST(ComposePageTest, AddressesAreEscapedForTheirPlace) {
    const std::vector<CardRecord> items = {
        Item("H", "http://a/?x=1&y=\"><script>alert(1)</script>",
             "http://a/p.png\";alert(1);//</script><script>alert(2)</script>")};
    const std::string page = ComposePage(MarkerTemplates(), items, 0, "N");
    EXPECT_NE(page.find("href=\"http://a/?x=1&amp;y=&quot;&gt;&lt;script&gt;alert(1)&lt;/"
                        "script&gt;\""),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("img1.src = \"http://a/p.png\\\";alert(1);//\\x3C/script\\x3E"
                        "\\x3Cscript\\x3Ealert(2)\\x3C/script\\x3E\";"),
              std::string::npos)
        << page;
}

TEST(ComposePageTest, OnlyWebAddressesAndThePlaceholderAreUsed) {
    const std::vector<CardRecord> items = {
        Item("H1", "javascript:alert(1)", "javascript:alert(2)"),
        Item("H2", "file:///etc/passwd", std::string(kPlaceholderAddress))};
    const std::string page = ComposePage(MarkerTemplates(), items, 0, "N");
    EXPECT_EQ(page.find("javascript:"), std::string::npos);
    EXPECT_EQ(page.find("file:"), std::string::npos);
    EXPECT_NE(page.find("img1.src = \"\";"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"\" id=\"c1\">"), std::string::npos);
    EXPECT_NE(page.find("img2.src = \"res://velmora.exe/#2/#170\";"), std::string::npos);
    EXPECT_EQ(CardLinkAddress("HTTPS://A/b"), "HTTPS://A/b");
    EXPECT_EQ(CardLinkAddress("http:/a"), "");
    EXPECT_EQ(CardLinkAddress("//a/b"), "");
    EXPECT_EQ(CardPictureAddress("res://velmora.exe/other"), "");
}

TEST(EscapingTest, DoubleByteCharactersStayWhole) {
    // "ソ" is 0x83 0x5C: its second byte is a backslash and must not be doubled.
    EXPECT_EQ(EscapeScriptString("\x83\x5C\\"), "\x83\x5C\\\\");
    EXPECT_EQ(EscapeHtmlAttribute("\x83\x5C\""), "\x83\x5C&quot;");
    // A lead byte whose second byte is missing or invalid cannot swallow a quote.
    EXPECT_EQ(EscapeHtmlAttribute("a\x81\""), "a?&quot;");
    EXPECT_EQ(EscapeScriptString("a\x81\""), "a?\\\"");
    EXPECT_EQ(EscapeScriptString("a\x81"), "a?");
    EXPECT_EQ(EscapeScriptString("\n\x01'"), "\\x0A\\x01\\'");
}

using test_support::ReadTemplate;

TEST(CardTemplatesTest, ShippedTemplatesFitTheirBuffersAndHoldOnlyTheirPlaceholders) {
    const CardTemplates templates{ReadTemplate(168), ReadTemplate(172), ReadTemplate(175)};
    ASSERT_FALSE(templates.page.empty());
    EXPECT_LT(templates.page.size() + 1, 10240u);
    EXPECT_LT(templates.card.size() + 1, 1024u);
    EXPECT_LT(templates.emptyCard.size() + 1, 1024u);
    EXPECT_EQ(CountOf(templates.page, "%"), 2u);
    EXPECT_EQ(CountOf(templates.page, "%s"), 2u);
    EXPECT_EQ(CountOf(templates.card, "%"), 8u);
    EXPECT_EQ(CountOf(templates.card, "%d"), 2u);
    EXPECT_EQ(CountOf(templates.emptyCard, "%d"), 1u);
    EXPECT_EQ(CountOf(ReadTemplate(169), "%"), 0u);
    EXPECT_NE(templates.page.find("charset=shift_jis"), std::string::npos);

    const std::string page = ComposePage(templates, {Item("A"), Item("B")}, 0, "feed");
    EXPECT_EQ(CountOf(page, "nonce=\"feed\""), 4u);  // head, two cards, closing call
    EXPECT_EQ(CountOf(page, "target=\"_blank\""), 6u);
    EXPECT_NE(page.find("id=\"imagearea1\""), std::string::npos);
    EXPECT_NE(page.find("id=\"imagearea2\""), std::string::npos);
}

}  // namespace
}  // namespace velmora
