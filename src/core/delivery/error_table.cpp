#include "core/delivery/error_table.h"

#include <array>

#include "core/text/cp932.h"

namespace velmora {
namespace {

struct Table {
    // Scanned in this order; the row with code 0 ends the scan and the
    // fallback row after it is reached only through the fallback rule.
    std::array<ErrorEntry, 10> rows;
    std::size_t endMarker = 8;
    std::size_t fallback = 9;
};

const Table& ErrorRows() {
    static const Table table = [] {
        using text::Utf8ToCp932;
        const std::string comm = Utf8ToCp932("通信エラー");
        const std::string refused = Utf8ToCp932("サーバにアクセスできません。");
        return Table{{{
            {kErrorWorkFile, Utf8ToCp932("ファイルアクセスエラー"),
             Utf8ToCp932("作業ファイルが作成できませんでした。")},
            {kErrorServerNotFound, comm, Utf8ToCp932("サーバがみつかりません。")},
            {kErrorUnauthorized, comm, refused},
            {kErrorNotFound, comm, refused},
            {kErrorAuthentication, Utf8ToCp932("認証エラー"),
             Utf8ToCp932("配信番号が間違っています。")},
            {kErrorStoreSave, Utf8ToCp932("保存エラー"),
             Utf8ToCp932("ニュースの保存に失敗しました。")},
            {kErrorOpenPage, Utf8ToCp932("ブラウザエラー"),
             Utf8ToCp932("ページを開けませんでした。xdg-utils とブラウザを確かめてください。")},
            {kErrorNoServer, Utf8ToCp932("サーバ未設定"),
             Utf8ToCp932("配信サーバが設定されていません。"
                         "「velmora --demo」でサービスなしに試せます。")},
            {0, std::string(), std::string()},
            {kErrorInternal, "INTERNAL ERROR", Utf8ToCp932("未対応のエラーが発生しました。")},
        }}};
    }();
    return table;
}

}  // namespace

const ErrorEntry& FindErrorEntry(std::int32_t code) {
    const Table& t = ErrorRows();
    if (code == 0) return t.rows[t.endMarker];
    for (const ErrorEntry& row : t.rows) {
        if (row.code == 0) break;
        if (row.code == code) return row;
    }
    return t.rows[t.fallback];
}

void ErrorState::ReportError(std::int32_t code, std::int32_t detail) {
    ReportError(code, detail, std::string());
}

void ErrorState::ReportError(std::int32_t code, std::int32_t detail, const std::string& note) {
    detail_ = detail;
    code_ = code;
    row_ = &FindErrorEntry(code);
    std::string message = row_->message;
    if (detail != 0) message += " (" + std::to_string(detail) + ")";
    if (!note.empty()) message += "\n" + note;
    titleLine_ = row_->title;
    messageLine_ = std::move(message);
}

void ErrorState::ClearError() {
    code_ = 0;
    detail_ = 0;
    row_ = nullptr;
}

}  // namespace velmora
