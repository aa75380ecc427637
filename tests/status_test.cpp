#include "support/status.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/diagnostic.h"

namespace tessarine::support {
namespace {

constexpr StatusCode kAllCodes[] = {
    StatusCode::kOk,           StatusCode::kOpenFailed,
    StatusCode::kSaveFailed,   StatusCode::kConverterMissing,
    StatusCode::kInvalidInput, StatusCode::kResourceLimit,
    StatusCode::kStopped,      StatusCode::kIoFailed,
    StatusCode::kInternal,
};

// The texts users read are made from the code: the converter's steps lead
// with the step's name, a stop reads the same whatever reason came with it,
// every other failure is its reason alone.
TEST(Status, TheTextIsMadeFromTheCodeAndTheReason) {
  const struct {
    StatusCode code;
    const char* text;
  } cases[] = {
      {StatusCode::kOpenFailed, "Open:the file is empty"},
      {StatusCode::kSaveFailed, "SaveAs:the file is empty"},
      {StatusCode::kConverterMissing, "CreateObject:the file is empty"},
      {StatusCode::kInvalidInput, "the file is empty"},
      {StatusCode::kResourceLimit, "the file is empty"},
      {StatusCode::kIoFailed, "the file is empty"},
      {StatusCode::kInternal, "the file is empty"},
      {StatusCode::kStopped, "用户中断"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(CodeName(c.code)));
    const Status status = Status::Error(c.code, "the file is empty");
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.code(), c.code);
    EXPECT_EQ(status.reason(), "the file is empty");
    EXPECT_EQ(status.message(), c.text);
  }
  EXPECT_EQ(Status::Stopped().message(), kInterruptedMessage);
  EXPECT_EQ(Status::Stopped(), Status::Error(StatusCode::kStopped, ""));
  EXPECT_TRUE(Status::Ok().ok());
  EXPECT_EQ(Status::Ok().message(), "");
  EXPECT_EQ(Status::Ok().code(), StatusCode::kOk);

  std::set<std::string_view> names;
  for (StatusCode code : kAllCodes) names.insert(CodeName(code));
  EXPECT_EQ(names.size(), std::size(kAllCodes)) << "two codes share a name";
}

TEST(Status, AnnotationAndRecodingKeepWhatTheyDoNotChange) {
  const Status open = Status::Error(StatusCode::kOpenFailed, "damaged");
  const Status named = open.Annotated("\r\n文档：a.docx");
  EXPECT_EQ(named.code(), StatusCode::kOpenFailed);
  EXPECT_EQ(named.message(), "Open:damaged\r\n文档：a.docx");
  EXPECT_TRUE(Status::Ok().Annotated("more").ok());

  const Status package = Status::Error(StatusCode::kInvalidInput, "not a zip file");
  EXPECT_EQ(package.As(StatusCode::kOpenFailed).message(), "Open:not a zip file");
  EXPECT_TRUE(Status::Ok().As(StatusCode::kOpenFailed).ok());

  const Result<int> failed = Status::Error(StatusCode::kResourceLimit, "too large");
  EXPECT_EQ(failed.code(), StatusCode::kResourceLimit);
  EXPECT_EQ(failed.message(), "too large");
  const Result<int> value = 3;
  EXPECT_EQ(value.code(), StatusCode::kOk);
  EXPECT_EQ(value.value_or(0), 3);
}

TEST(DiagnosticSink, KeepsEachThreadsOrderAndLosesNothing) {
  DiagnosticSink sink;
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&sink, t] {
      for (int i = 0; i < kEach; ++i) sink.Warn("doc" + std::to_string(t), std::to_string(i));
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<Diagnostic> all = sink.Take();
  ASSERT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
  std::vector<int> next(kThreads, 0);
  for (const Diagnostic& d : all) {
    const int t = d.source.back() - '0';
    EXPECT_EQ(d.message, std::to_string(next[t]++));
    EXPECT_EQ(d.severity, Severity::kWarning);
  }
  EXPECT_TRUE(sink.Take().empty()) << "taking empties the sink";

  sink.ReportAll({{Severity::kNote, "", "page name shared", "doc2.htm"},
                  {Severity::kWarning, "a.docx", "header part unreadable", {}}});
  all = sink.Take();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].Text(), "page name shared");
  EXPECT_EQ(all[1].Text(), "a.docx: header part unreadable");
}

}  // namespace
}  // namespace tessarine::support
