#include "core/delivery/error_table.h"

#include <gtest/gtest.h>

#include "core/text/cp932.h"

using namespace velmora;
using text::Cp932ToUtf8;

namespace {
std::string Title(const ErrorState& e) {
    return Cp932ToUtf8(e.TitleLine());
}
std::string Message(const ErrorState& e) {
    return Cp932ToUtf8(e.MessageLine());
}
}  // namespace

TEST(ErrorTable, EveryListedCodeHasItsTexts) {
    struct Case {
        int code, detail;
        const char* title;
        const char* message;
    } cases[] = {
        {82, 5, "ファイルアクセスエラー", "作業ファイルが作成できませんでした。 (5)"},
        {58, 0, "通信エラー", "サーバがみつかりません。"},
        {401, 401, "通信エラー", "サーバにアクセスできません。 (401)"},
        {404, 404, "通信エラー", "サーバにアクセスできません。 (404)"},
        {1000, 0, "認証エラー", "配信番号が間違っています。"},
        {1100, 28, "保存エラー", "ニュースの保存に失敗しました。 (28)"},
        {1101, 0, "ブラウザエラー",
         "ページを開けませんでした。xdg-utils とブラウザを確かめてください。"},
        {500, 0, "INTERNAL ERROR", "未対応のエラーが発生しました。"},
        {500, 500, "INTERNAL ERROR", "未対応のエラーが発生しました。 (500)"},
        {65535, 0, "INTERNAL ERROR", "未対応のエラーが発生しました。"},
        {-7, 0, "INTERNAL ERROR", "未対応のエラーが発生しました。"},
        {58, -1, "通信エラー", "サーバがみつかりません。 (-1)"},
        {82, INT32_MIN, "ファイルアクセスエラー",
         "作業ファイルが作成できませんでした。 (-2147483648)"},
    };
    for (const Case& c : cases) {
        ErrorState e;
        e.ReportError(c.code, c.detail);
        SCOPED_TRACE(c.code);
        EXPECT_EQ(e.Code(), c.code);
        EXPECT_EQ(e.Detail(), c.detail);
        ASSERT_NE(e.Row(), nullptr);
        EXPECT_EQ(Title(e), c.title);
        EXPECT_EQ(Message(e), c.message);
        EXPECT_EQ(e.Title(), e.TitleLine());
    }
}

TEST(ErrorTable, LookupStopsAtTheEndMarker) {
    EXPECT_EQ(FindErrorEntry(0).code, 0);
    EXPECT_TRUE(FindErrorEntry(0).title.empty());
    EXPECT_EQ(FindErrorEntry(65535).code, 65535);
    EXPECT_EQ(FindErrorEntry(12345).code, 65535);
    EXPECT_EQ(&FindErrorEntry(401), &FindErrorEntry(401));
    EXPECT_NE(&FindErrorEntry(401), &FindErrorEntry(404));
    EXPECT_EQ(FindErrorEntry(401).message, FindErrorEntry(404).message);
}

TEST(ErrorState, ReportingZeroEmptiesBothLines) {
    ErrorState e;
    e.ReportError(58, 0);
    e.ReportError(0, 0);
    EXPECT_EQ(e.Code(), 0);
    ASSERT_NE(e.Row(), nullptr);
    EXPECT_EQ(e.Row()->code, 0);
    EXPECT_EQ(e.TitleLine(), "");
    EXPECT_EQ(e.MessageLine(), "");
}

TEST(ErrorState, ClearKeepsTheLinesButDropsTheError) {
    ErrorState e;
    e.ReportError(404, 404);
    e.ClearError();
    EXPECT_EQ(e.Code(), 0);
    EXPECT_EQ(e.Detail(), 0);
    EXPECT_EQ(e.Row(), nullptr);
    EXPECT_EQ(e.Title(), "");
    EXPECT_EQ(Title(e), "通信エラー");
    EXPECT_EQ(Message(e), "サーバにアクセスできません。 (404)");
}

TEST(ErrorState, ANewReportOverwritesTheLastOne) {
    ErrorState e;
    e.ReportError(82, 2);
    e.ReportError(1000, 0);
    EXPECT_EQ(e.Code(), 1000);
    EXPECT_EQ(Message(e), "配信番号が間違っています。");
}
