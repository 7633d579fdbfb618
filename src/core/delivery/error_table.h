#pragma once
// The error table and the current error. Qt-free so that the delivery cycle
// can report; the error dialog only displays what this holds.

#include <cstdint>
#include <string>

namespace velmora {

// Error codes used by the delivery cycle and the tool sheet.
inline constexpr std::int32_t kErrorWorkFile = 82;
inline constexpr std::int32_t kErrorServerNotFound = 58;
inline constexpr std::int32_t kErrorUnauthorized = 401;
inline constexpr std::int32_t kErrorNotFound = 404;
inline constexpr std::int32_t kErrorAuthentication = 1000;
// The item store could not be written; the detail is the system error number.
inline constexpr std::int32_t kErrorStoreSave = 1100;
// A page (MY PAGE, a card, help) could not be opened in the browser.
inline constexpr std::int32_t kErrorOpenPage = 1101;
// No delivery server is known at all (the machine is not provisioned).
inline constexpr std::int32_t kErrorNoServer = 1102;
inline constexpr std::int32_t kErrorInternal = 65535;

struct ErrorEntry {
    std::int32_t code;
    std::string title;    // CP932
    std::string message;  // CP932
};

// The row for `code`: the end-marker row (empty texts) for 0, the row of a
// listed code, otherwise the fallback row "INTERNAL ERROR". Never fails.
const ErrorEntry& FindErrorEntry(std::int32_t code);

// The current error: what ReportError made current and the two text lines
// the error dialog shows.
class ErrorState {
  public:
    void ReportError(std::int32_t code, std::int32_t detail);
    // The same, with `note` (CP932) on a line of its own below the message.
    void ReportError(std::int32_t code, std::int32_t detail, const std::string& note);
    // Code and detail 0, no row; the text lines keep what they last showed.
    void ClearError();

    std::int32_t Code() const { return code_; }
    std::int32_t Detail() const { return detail_; }
    // The current row, or nullptr when none is current.
    const ErrorEntry* Row() const { return row_; }
    // Title of the current row, empty when none is current (CP932).
    std::string Title() const { return row_ ? row_->title : std::string(); }

    // The dialog's upper and lower lines (CP932).
    const std::string& TitleLine() const { return titleLine_; }
    const std::string& MessageLine() const { return messageLine_; }

  private:
    std::int32_t code_ = 0;
    std::int32_t detail_ = 0;
    const ErrorEntry* row_ = nullptr;
    std::string titleLine_;
    std::string messageLine_;
};

}  // namespace velmora
