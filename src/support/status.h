// Success-or-message results shared by every core module.
//
// A failure a user can meet (a missing file, a full disk, a corrupt package, a
// regular expression that ran out of resources) travels back to the caller as
// a Status or a Result carrying the message the user will read. No exception
// crosses a module boundary.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace tessarine::support {

class [[nodiscard]] Status {
 public:
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !message_.has_value(); }
  explicit operator bool() const { return ok(); }
  // The user-facing message of a failure; empty for success.
  const std::string& message() const {
    static const std::string kEmpty;
    return message_ ? *message_ : kEmpty;
  }

 private:
  Status() = default;
  explicit Status(std::string message) : message_(std::move(message)) {}
  std::optional<std::string> message_;
};

// A value or the message of the failure that prevented it.
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
  Status status() const { return ok() ? Status::Ok() : error_; }
  const std::string& message() const { return error_.message(); }

 private:
  std::optional<T> value_;
  Status error_ = Status::Ok();
};

}  // namespace tessarine::support
