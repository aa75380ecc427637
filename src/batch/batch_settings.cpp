#include "batch/batch_settings.h"

#include <algorithm>
#include <charconv>

#include "support/files.h"
#include "support/regex.h"

namespace tessarine::batch {
namespace {

using project::FocusControl;
using project::ValidationFailure;

std::string TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

ValidationFailure Failure(std::string_view message, FocusControl focus = FocusControl::kNone) {
  return ValidationFailure{std::string(message), focus, 0};
}

size_t DigitCount(size_t number) {
  size_t digits = 1;
  while (number >= 10) {
    number /= 10;
    ++digits;
  }
  return digits;
}

}  // namespace

BatchSettings DefaultBatchSettings() {
  BatchSettings settings;
  settings.OutputDir = support::DefaultOutputFolder();
  return settings;
}

std::optional<ValidationFailure> ValidateBatch(BatchSettings& settings) {
  // An empty box would otherwise become "/" and put the pages into the root
  // folder.
  std::string folder = support::NormalizePath(TrimSpaces(settings.OutputDir));
  if (folder.empty() || !support::FolderExists(folder)) {
    return Failure(project::kInvalidOutputDir, FocusControl::kTxtOutputDir);
  }
  if (folder.back() != '/') folder += '/';
  settings.OutputDir = folder;

  // The extension is stored trimmed: a blank around it would otherwise end
  // up inside every page's file name.
  settings.FileExt = TrimSpaces(settings.FileExt);
  const support::Result<bool> ext_ok =
      support::RegexpTest(project::kFileExtPattern, settings.FileExt);
  if (!ext_ok.ok()) return Failure(ext_ok.message(), FocusControl::kTxtFileExt);
  if (!*ext_ok) return Failure(project::kInvalidFileExt, FocusControl::kTxtFileExt);

  if (settings.Documents.empty()) return Failure(project::kNoDocuments);
  if (settings.OptimizeMode < 0 || settings.OptimizeMode > 2) {
    return Failure("invalid clean-up mode " + std::to_string(settings.OptimizeMode) +
                   " (0, 1 or 2)");
  }
  if (settings.FileEncode != "0" && settings.FileEncode != "1") {
    return Failure("invalid output encoding \"" + settings.FileEncode + "\" (0 ANSI, 1 UTF-8)");
  }
  return std::nullopt;
}

std::string BatchPageName(std::string_view document_path, FileNameRule rule, size_t position,
                          size_t count) {
  if (rule == FileNameRule::kNumber) {
    std::string number = std::to_string(position);
    const size_t width = DigitCount(count);
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    return number;
  }
  std::string name = support::FileNameOfPath(document_path);
  if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  return name;
}

std::optional<Shard> ParseShard(std::string_view text) {
  constexpr size_t kMaxShards = 1'000'000;
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto number = [](std::string_view digits) -> std::optional<size_t> {
    size_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || ec != std::errc() || stop != end) return std::nullopt;
    return value;
  };
  const std::optional<size_t> index = number(text.substr(0, slash));
  const std::optional<size_t> count = number(text.substr(slash + 1));
  if (!index || !count || *count == 0 || *count > kMaxShards || *index == 0 || *index > *count) {
    return std::nullopt;
  }
  return Shard{*index, *count};
}

ListSlice TakeShard(std::vector<std::string>& documents, Shard shard) {
  std::stable_sort(documents.begin(), documents.end());
  const size_t total = documents.size();
  // Slice K holds positions [(K-1)*total/N, K*total/N), computed without
  // overflow for any list that fits in memory.
  const auto bound = [&](size_t k) {
    return total / shard.count * k + total % shard.count * k / shard.count;
  };
  const size_t begin = bound(shard.index - 1);
  const size_t end = bound(shard.index);
  documents.erase(documents.begin() + static_cast<std::ptrdiff_t>(end), documents.end());
  documents.erase(documents.begin(), documents.begin() + static_cast<std::ptrdiff_t>(begin));
  return ListSlice{begin + 1, total};
}

}  // namespace tessarine::batch
