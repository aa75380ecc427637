// Success-or-failure results shared by every core module.
//
// A failure a user can meet (a missing file, a full disk, a corrupt package, a
// regular expression that ran out of resources, a stop) travels back to the
// caller as a Status or a Result: a code that says what kind of failure it is,
// for callers and tests to branch on, and the reason in words. The text the
// user reads is made from both where it is shown (message()): the converter's
// failures lead with the step that failed ("Open:", "SaveAs:",
// "CreateObject:"), a stop reads "用户中断". No exception crosses a module
// boundary.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tessarine::support {

// The message of a run the user stopped.
inline constexpr std::string_view kInterruptedMessage = "用户中断";

enum class StatusCode {
  // Success.
  kOk,
  // The document cannot be opened: missing, damaged, encrypted, not a Word
  // document, or its converter failed on it. Shown as "Open:" and the reason.
  kOpenFailed,
  // The converted HTML or its folder cannot be written. Shown as "SaveAs:"
  // and the reason.
  kSaveFailed,
  // The converter cannot be started (LibreOffice, for a .doc, missing or not
  // runnable). Shown as "CreateObject:" and the reason.
  kConverterMissing,
  // The input breaks a rule: a damaged package, a setting out of range, a
  // project file that is no project, a pattern that is no pattern.
  kInvalidInput,
  // A bound was reached: memory, a pattern's match resources, a size or a
  // time limit.
  kResourceLimit,
  // The user asked to stop. Shown as "用户中断" (the reason, if any, is not
  // shown).
  kStopped,
  // A file or folder cannot be read, written, copied or made.
  kIoFailed,
  // Something that should not happen: a library threw an unexpected error.
  kInternal,
};

// The code's name, for logs and test output ("open failed", ...).
std::string_view CodeName(StatusCode code);

class [[nodiscard]] Status {
 public:
  static Status Ok() { return Status(); }
  // A failure of kind `code` (not kOk) for the reason `reason`.
  static Status Error(StatusCode code, std::string reason) {
    assert(code != StatusCode::kOk);
    return Status(code, std::move(reason));
  }
  static Status Stopped() { return Status(StatusCode::kStopped, std::string()); }

  bool ok() const { return code_ == StatusCode::kOk; }
  explicit operator bool() const { return ok(); }
  StatusCode code() const { return code_; }
  // The reason in words, without the lead its code gives; empty for success.
  const std::string& reason() const { return reason_; }
  // The text the user reads: the code's lead and the reason; empty for
  // success.
  std::string message() const;

  // The same failure with `more` after its reason (a line naming the
  // document, ...); success stays success.
  Status Annotated(std::string_view more) const;
  // The same reason under another code: a step that reports what it met in
  // its own terms (a damaged package is the document's "Open:" failure).
  Status As(StatusCode code) const;

  bool operator==(const Status&) const = default;

 private:
  Status() = default;
  Status(StatusCode code, std::string reason) : code_(code), reason_(std::move(reason)) {}
  StatusCode code_ = StatusCode::kOk;
  std::string reason_;
};

// A value or the failure that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status error) : error_(std::move(error)) { assert(!error_.ok()); }  // NOLINT

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }

  const T& value() const& {
    assert(ok());
    return *value_;
  }
  T& value() & {
    assert(ok());
    return *value_;
  }
  T&& value() && {
    assert(ok());
    return std::move(*value_);
  }
  const T& operator*() const& { return value(); }
  T& operator*() & { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }

  T value_or(T fallback) const& { return ok() ? *value_ : std::move(fallback); }
  const Status& status() const { return error_; }
  StatusCode code() const { return error_.code(); }
  std::string message() const { return error_.message(); }

 private:
  std::optional<T> value_;
  Status error_ = Status::Ok();
};

}  // namespace tessarine::support
