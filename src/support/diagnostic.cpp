#include "support/diagnostic.h"

namespace tessarine::support {

std::string Diagnostic::Text() const {
  if (source.empty()) return message;
  return source + ": " + message;
}

void DiagnosticSink::Report(Diagnostic diagnostic) {
  std::lock_guard<std::mutex> lock(mutex_);
  diagnostics_.push_back(std::move(diagnostic));
}

void DiagnosticSink::Warn(std::string source, std::string message) {
  Report(Diagnostic{Severity::kWarning, std::move(source), std::move(message), {}});
}

void DiagnosticSink::ReportAll(std::vector<Diagnostic> more) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Diagnostic& diagnostic : more) diagnostics_.push_back(std::move(diagnostic));
}

std::vector<Diagnostic> DiagnosticSink::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(diagnostics_, {});
}

}  // namespace tessarine::support
