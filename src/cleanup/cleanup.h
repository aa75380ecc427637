// Clean-up: the passes that turn one page body of Word HTML into plain HTML
// by a document's clean-up options, the wrapper that gives a finished page
// the document's paper width, and the test for a body without visible text.
// The site build and the batch run both use it; neither owns it.
//
// Both make their options with CleanupOptionsOf and PageWidthOptionsOf from
// a document record (the batch run fills one from its own settings). The
// site build calls CleanPageBody on every row's Body, WrapPageWidth on every
// finished page, and IsBlankHtml on the whole body before it is split; the
// batch run calls CleanBody on its single page; the site's header and footer
// stage runs TidyHeaderFooter.
//
// Every pass is a case-insensitive, global regular-expression replacement
// (support/regex.h). A pass that runs out of resources fails the call with
// the regex service's message; no pass is ever skipped silently.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cleanup/head_style.h"
#include "project/document_record.h"
#include "support/regex.h"
#include "support/status.h"

namespace tessarine::cleanup {

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

// Asked before every pass of a clean-up: a failure ends the clean-up with
// it. A long build uses it to stop between the passes of a large page.
using BetweenPasses = std::function<support::Status()>;

// The cleaned body of one page of a document. On the home page Word's own
// contents paragraphs go, in every mode, before CleanBody runs (the site's
// navigation stage adds its own table of contents after the cleaned body).
// Fails when a pattern runs out of resources.
support::Result<std::string> CleanPageBody(std::string body, bool home_page,
                                           const CleanupOptions& options,
                                           const BetweenPasses& between_passes = {});

// The pass list of CleanPageBody for a plain body: the common passes, then
// the selective or the all-clear passes, then the closing passes, by
// `options.mode` (kNone returns the body as it is). Word's contents
// paragraphs are left alone and no table of contents is added; the batch
// pipeline runs this on its single page. Fails when a pattern runs out of
// resources.
support::Result<std::string> CleanBody(std::string body, const CleanupOptions& options,
                                       const BetweenPasses& between_passes = {});

// The tidy-up a page header or footer gets: the mso- declarations, empty
// style and lang attributes go, then the closing passes (blanks before ">",
// empty paragraphs and cells keep their height, empty spans go). Fails when a
// pattern runs out of resources.
support::Result<std::string> TidyHeaderFooter(std::string html);

// How often a pass runs over the text.
enum class PassRounds {
  kOnce,
  // Again on its own result until the text stops changing.
  kUntilStable,
  // The same result as kUntilStable, for a pattern whose every match holds
  // exactly one ">", its last character, and whose replacement keeps that
  // ">" and adds none. Each round then changes every piece of the text that
  // ends at a ">" independently of the others, so only the pieces that
  // changed take part in the next round.
  kUntilStableByTag,
};

// One pass of the clean-up list: every match of `pattern` becomes
// `replacement`. Exposed so that tools can time or trace the passes one by
// one; CleanBody is exactly these passes run in order.
struct CleanupPass {
  std::string_view name;  // what the pass removes or rewrites
  std::string pattern;
  std::string_view replacement;
  PassRounds rounds = PassRounds::kOnce;
  // When not empty, a pattern that every match of `pattern` contains a match
  // of: a text without one is left as it is without running the pass.
  std::string_view needle;
  // For kUntilStableByTag, when not empty: text every match holds, in any
  // letter case. The pieces of the text without it are passed over even in
  // the first round.
  std::string_view marker;

  bool operator==(const CleanupPass&) const = default;
};

// The passes CleanBody runs for `options`, in their order; empty for kNone.
std::vector<CleanupPass> CleanBodyPasses(const CleanupOptions& options);

// `text` after one pass; fails when the pattern runs out of resources.
support::Result<std::string> RunCleanupPass(std::string_view text, const CleanupPass& pass);

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
// border-effect table around it. The width is the paper width with the
// margins as padding (OptPageMargin), or the paper width less both side
// margins. Unchanged when OptPageWidth is off or the width or a side margin
// is not a number.
std::string WrapPageWidth(std::string page, const PageWidthOptions& options,
                          const PageSetup& page_setup);

// `value` in its shortest plain decimal form with at most 15 significant
// digits: no exponent, no trailing zeros, no point for whole numbers
// (415.3, 416, 0.25, -12.5); empty for infinity and NaN.
std::string ShortestDecimal(double value);

// `html` with a comment that is never closed opened no longer: a browser
// hides everything after "<!--" up to the next "-->", so an opener without
// one would hide the rest of the page. The opener goes together with Word's
// condition after it ("<!--[if supportFields]>"); closed comments stay.
std::string EndOpenComment(std::string html);

// True when nothing is left of `html` once every tag and then every run of
// CR, LF, tab and space is removed. Entities such as "&nbsp;" count as
// visible. Fails when a pattern runs out of resources.
support::Result<bool> IsBlankHtml(std::string_view html);
// The same for text whose UTF-8 is known to be valid, which is not checked
// again.
support::Result<bool> IsBlankHtml(support::ValidUtf8 html);

}  // namespace tessarine::cleanup
