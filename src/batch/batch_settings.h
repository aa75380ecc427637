// The batch conversion's own settings: the values of the batch window (and
// of `tessarine batch`), never taken from a project. Each document of the
// list becomes exactly one cleaned page in the output folder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "project/validation.h"

namespace tessarine::batch {

// How a page is named.
enum class FileNameRule {
  kDocumentName = 0,  // "按原文件名": the document's file name without its extension
  kNumber = 1,        // "自动数字序号": the list position, zero-padded to the count's digits
};

struct BatchSettings {
  std::string OutputDir;  // ends with "/" once validated
  std::string FileExt = ".htm";
  std::string Charset = "gb2312";  // may be empty: Word's declaration then stays
  std::string FileEncode = "0";    // "0" ANSI, "1" UTF-8
  FileNameRule NameRule = FileNameRule::kDocumentName;
  int OptimizeMode = 1;  // 0, 1 or 2, as a document's OptimizeMode
  bool Opt1VML = true;
  bool Opt1Absolute = true;
  bool Opt1EQ = true;
  bool Opt1Margin = true;
  bool Opt1Space = false;
  bool Opt2Image = true;
  bool Opt2Table = true;
  bool Opt2EQ = true;
  bool Opt2Indent = false;
  bool Opt2PtoBR = false;
  bool OptPageWidth = false;
  bool OptPageMargin = false;
  bool OptPageEffect = false;
  // The documents, in list order; the same path may stand twice.
  std::vector<std::string> Documents;

  bool operator==(const BatchSettings&) const = default;
};

// The window's start values, with the program's default output folder.
BatchSettings DefaultBatchSettings();

// Texts of the batch run, shown as they stand.
inline constexpr std::string_view kBatchSucceeded = "恭喜：所有文档转换生成成功！";
inline constexpr std::string_view kBatchWindowTitle = "Tessarine - 批量转换工具";

// The start command's checks, in order, changing the values where the window
// shows them changed:
//  1. OutputDir trimmed, "\" read as "/"; empty or not an existing folder is
//     refused ("提示：无效的输出文件夹！", txtOutputDir); a final "/" is
//     appended and stored back.
//  2. FileExt trimmed and stored back; it must match "^\.[a-zA-Z0-9]+$"
//     ("提示：无效的输出文件扩展名格式！", txtFileExt).
//  3. At least one document ("提示：请选择要转换的 Word 文档，至少要有一个文档！").
// Also refused, as a hand-edited call could pass them: a mode outside 0..2 and
// an output encoding other than "0" or "1".
std::optional<project::ValidationFailure> ValidateBatch(BatchSettings& settings);

// The page name (without extension) of the document at `position` (from 1) of
// `count`: by rule 0 the file name without its last "." and what follows
// (a.b.doc gives a.b); by rule 1 the position padded with zeros to the number
// of digits of `count` (3 of 12 gives 03).
std::string BatchPageName(std::string_view document_path, FileNameRule rule, size_t position,
                          size_t count);

// Where a run's documents stand in a longer list that several runs share, each
// converting one slice of it: numbered pages carry their position in the whole
// list, padded to its length, so the slices' pages can meet in one folder.
struct ListSlice {
  size_t first = 1;  // position of the run's first document in the whole list, from 1
  size_t total = 0;  // length of the whole list; 0: the run's documents are the whole list
};

// One of `count` deterministic slices of a list, `index` from 1.
struct Shard {
  size_t index = 1;
  size_t count = 1;
};

// Reads "K/N" (1 <= K <= N, N up to a million); nullopt for anything else.
std::optional<Shard> ParseShard(std::string_view text);

// Sorts `documents` by path (byte order, so every machine sorts alike) and
// keeps the shard's slice: consecutive positions, the slices' lengths
// differing by one at most, the N slices of one list covering it exactly once.
// Gives the slice's place in the sorted whole list.
ListSlice TakeShard(std::vector<std::string>& documents, Shard shard);

}  // namespace tessarine::batch
