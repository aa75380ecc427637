#include "convert/conversion.h"

#include <exception>
#include <new>
#include <optional>
#include <unordered_set>
#include <utility>

#include "convert/docx_package.h"
#include "convert/word_html_writer.h"

namespace tessarine::convert {
namespace {

ConvertOutcome Failed(std::string_view prefix, std::string_view reason,
                      std::vector<std::string> diagnostics) {
  ConvertOutcome outcome;
  outcome.state = ConvertState::kFailed;
  outcome.message = std::string(prefix) + std::string(reason);
  outcome.diagnostics = std::move(diagnostics);
  return outcome;
}

ConvertOutcome Stopped(std::vector<std::string> diagnostics) {
  ConvertOutcome outcome;
  outcome.state = ConvertState::kStopped;
  outcome.diagnostics = std::move(diagnostics);
  return outcome;
}

bool Continue(const ConvertProgress& on_step, ConvertStep step) {
  return !on_step || on_step(step);
}

// The writer may or may not pass on what the package reader met; each note
// is kept once, the writer's first.
void AppendNew(std::vector<std::string>& into, const std::vector<std::string>& more) {
  std::unordered_set<std::string> seen(into.begin(), into.end());
  for (const std::string& note : more) {
    if (seen.insert(note).second) into.push_back(note);
  }
}

// A document large enough to exhaust memory, or a library that throws,
// must end this document's conversion with the step's message, never the
// program.
template <typename Step>
auto Guarded(Step&& step, std::string& failure) -> std::optional<decltype(step())> {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    failure = "not enough memory to convert the document";
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unexpected internal error";
  }
  return std::nullopt;
}

}  // namespace

std::string_view StepLabel(ConvertStep step) {
  switch (step) {
    case ConvertStep::kConverterStarted:
      return "CreateObject(Word.Application)";
    case ConvertStep::kDocumentOpened:
      return "Word.Open";
    case ConvertStep::kSaved:
      return "Word.SaveAs";
  }
  return "";
}

int StepWeight(ConvertStep step) {
  return step == ConvertStep::kSaved ? 2 : 1;
}

ConvertOutcome ConvertToWordHtml(const std::string& document_path, const std::string& target_htm,
                                 const ConvertProgress& on_step) {
  // The built-in converter needs no start-up, so kCreateObjectFailure cannot
  // arise yet (see the header).
  if (!Continue(on_step, ConvertStep::kConverterStarted)) return Stopped({});

  std::string failure;
  auto opened = Guarded([&] { return DocxPackage::Open(document_path); }, failure);
  if (!opened) return Failed(kOpenFailure, failure, {});
  if (!opened->ok()) return Failed(kOpenFailure, opened->message(), {});
  const DocxPackage& package = opened->value();
  if (!Continue(on_step, ConvertStep::kDocumentOpened)) return Stopped(package.diagnostics());

  auto written = Guarded([&] { return WriteWordHtml(package, target_htm); }, failure);
  std::vector<std::string> diagnostics;
  if (written && written->ok()) diagnostics = written->value().diagnostics;
  AppendNew(diagnostics, package.diagnostics());
  if (!written) return Failed(kSaveAsFailure, failure, std::move(diagnostics));
  if (!written->ok()) return Failed(kSaveAsFailure, written->message(), std::move(diagnostics));
  if (!Continue(on_step, ConvertStep::kSaved)) return Stopped(std::move(diagnostics));

  ConvertOutcome outcome;
  outcome.state = ConvertState::kConverted;
  outcome.diagnostics = std::move(diagnostics);
  return outcome;
}

}  // namespace tessarine::convert
