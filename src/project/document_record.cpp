#include "project/document_record.h"

namespace tessarine::project {
namespace {

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t hit = 0; (hit = text.find(from, start)) != std::string_view::npos;
       start = hit + from.size()) {
    out.append(text, start, hit - start);
    out.append(to);
  }
  out.append(text.substr(start));
  return out;
}

}  // namespace

std::string MultiLineToText(std::string_view stored) {
  return ReplaceAll(stored, kLineSeparator, "\r\n");
}

std::string TextToMultiLine(std::string_view text) {
  return ReplaceAll(text, "\r\n", kLineSeparator);
}

}  // namespace tessarine::project
