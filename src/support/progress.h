// What the site build and the batch run share with the front ends that show
// them: the progress bar's cap, the state texts and the lead of a failure
// message, shown as they stand.
#pragma once

#include <string_view>

namespace tessarine::support {

inline constexpr std::string_view kBuildFailedLead = "生成出错，原因：";
inline constexpr std::string_view kInterruptedMessage = "用户中断";
inline constexpr std::string_view kStateDone = "完成！";
inline constexpr std::string_view kStateInterrupted = "中断！";
// A document that is no .doc or .docx file; a line break and its path follow.
inline constexpr std::string_view kInvalidDocument = "无效的 Word 文档：";

// The bar stays below 100 until the front end sets it after success.
inline constexpr int kProgressCap = 97;

}  // namespace tessarine::support
