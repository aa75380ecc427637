// What a run met without failing: a content oddity the converter worked
// around, a page name two documents share, ... Every stage reports into one
// DiagnosticSink; the outcomes of a conversion, a site build and a batch run
// hand the collected list to the front ends, which show each as Text().
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tessarine::support {

enum class Severity {
  kNote,     // worth knowing; the output is as the document asks
  kWarning,  // the output differs from what the document asks
};

struct Diagnostic {
  Severity severity = Severity::kWarning;
  // What it is about: the document's path; empty when the message says it.
  std::string source;
  std::string message;
  // Where in the source, when known (a part of the package, a page file).
  std::string location;

  // The line a front end shows: "source: message", or the message alone.
  std::string Text() const;
  bool operator==(const Diagnostic&) const = default;
};

// Collects diagnostics in the order they are reported; safe to report into
// from several threads.
class DiagnosticSink {
 public:
  DiagnosticSink() = default;
  DiagnosticSink(const DiagnosticSink&) = delete;
  DiagnosticSink& operator=(const DiagnosticSink&) = delete;

  void Report(Diagnostic diagnostic);
  // A warning about `source`.
  void Warn(std::string source, std::string message);
  // Every diagnostic of `more`, in its order.
  void ReportAll(std::vector<Diagnostic> more);
  // What was reported so far, leaving the sink empty.
  std::vector<Diagnostic> Take();

 private:
  std::mutex mutex_;
  std::vector<Diagnostic> diagnostics_;
};

}  // namespace tessarine::support
