// Body clean-up stage: the passes that turn one page body of Word HTML into
// plain HTML by the document's clean-up options, the wrapper that gives a
// finished page the document's paper width, and the test for a body without
// visible text.
//
// The driver converts the record's mode and flags once per document
// (CleanupOptionsOf, PageWidthOptionsOf) and calls CleanPageBody on every
// row's Body, WrapPageWidth on every finished page, and IsBlankHtml on the
// whole body before it is split.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "project/document_record.h"
#include "site/head_style.h"
#include "site/section.h"
#include "support/status.h"

namespace tessarine::site {

// The record's OptimizeMode and its ten clean-up flags; a flag is on exactly
// when the record holds "1".
struct CleanupOptions {
  OptimizeMode mode = OptimizeMode::kSelective;
  bool Opt1VML = false;
  bool Opt1Absolute = false;
  bool Opt1EQ = false;
  bool Opt1Margin = false;
  bool Opt1Space = false;
  bool Opt2Image = false;
  bool Opt2Table = false;
  bool Opt2EQ = false;
  bool Opt2Indent = false;
  bool Opt2PtoBR = false;

  bool operator==(const CleanupOptions&) const = default;
};

// Fails with OptimizeModeFromIndex's message for a mode outside "0".."2".
support::Result<CleanupOptions> CleanupOptionsOf(const project::DocumentRecord& document);

// The cleaned body of row `row` of `sections` (the table is only read). On the
// home page (row 0) Word's own contents paragraphs go and, with the record's
// Toc on, the generated table of contents is appended. Fails when a pattern
// runs out of resources.
support::Result<std::string> CleanPageBody(const SectionTable& sections, size_t row,
                                           const project::DocumentRecord& document,
                                           const CleanupOptions& options);

// The record's page layout flags OptPageWidth, OptPageMargin, OptPageEffect.
struct PageWidthOptions {
  bool OptPageWidth = false;
  bool OptPageMargin = false;
  bool OptPageEffect = false;

  bool operator==(const PageWidthOptions&) const = default;
};

PageWidthOptions PageWidthOptionsOf(const project::DocumentRecord& document);

// The finished page (header, body with heading and related topics, footer)
// in a table of the paper width read from the @page rule, optionally with a
// border-effect table around it. Unchanged when OptPageWidth is off or the
// width or a side margin is not a number.
std::string WrapPageWidth(std::string_view page, const PageWidthOptions& options,
                          const PageSetup& page_setup);

// True when nothing is left of `html` once every tag and then every run of
// CR, LF, tab and space is removed. Entities such as "&nbsp;" count as
// visible. Fails when a pattern runs out of resources.
support::Result<bool> IsBlankHtml(std::string_view html);

}  // namespace tessarine::site
