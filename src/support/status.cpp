#include "support/status.h"

namespace tessarine::support {
namespace {

// The lead a failure's text starts with, by its code; the reason follows
// without a space.
std::string_view LeadOf(StatusCode code) {
  switch (code) {
    case StatusCode::kOpenFailed:
      return "Open:";
    case StatusCode::kSaveFailed:
      return "SaveAs:";
    case StatusCode::kConverterMissing:
      return "CreateObject:";
    default:
      return {};
  }
}

}  // namespace

std::string_view CodeName(StatusCode code) {
  switch (code) {
    case StatusCode::kOk:
      return "ok";
    case StatusCode::kOpenFailed:
      return "open failed";
    case StatusCode::kSaveFailed:
      return "save failed";
    case StatusCode::kConverterMissing:
      return "converter missing";
    case StatusCode::kInvalidInput:
      return "invalid input";
    case StatusCode::kResourceLimit:
      return "resource limit";
    case StatusCode::kStopped:
      return "stopped";
    case StatusCode::kIoFailed:
      return "input/output failed";
    case StatusCode::kInternal:
      return "internal error";
  }
  return "unknown";
}

std::string Status::message() const {
  if (code_ == StatusCode::kStopped) return std::string(kInterruptedMessage);
  std::string text(LeadOf(code_));
  text += reason_;
  return text;
}

Status Status::Annotated(std::string_view more) const {
  if (ok()) return *this;
  return Status(code_, reason_ + std::string(more));
}

Status Status::As(StatusCode code) const {
  if (ok()) return *this;
  return Status(code, reason_);
}

}  // namespace tessarine::support
