#include "site/header_footer.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "cleanup/cleanup.h"
#include "site/images.h"
#include "support/regex.h"
#include "support/text_file.h"

namespace tessarine::site {
namespace {

using support::Result;
using support::Status;

constexpr std::string_view kFlagOn = "1";
// HFHome holds "0" to keep header and footer off the home page; any other
// text puts them there too.
constexpr std::string_view kHFHomeOff = "0";
constexpr std::string_view kHeaderFile = "header.htm";

struct Pass {
  std::string_view pattern;
  std::string_view replacement;
};

// --- Extraction, in the order the passes run --------------------------------

// Word breaks long style attributes after a colon or a semicolon
// (cn-probability-formula/index.files/header.htm); the break goes so that the
// later passes see one attribute per line.
constexpr Pass kJoinStyleBreaks{R"re(([:;])\r\n)re", "$1"};

// The first header and first footer; Word writes their opening tags exactly
// so. Other stories (even-page and first-page ones, note separators) are not
// used. The pattern runs to the last end tag of the file; the element is then
// cut at its own end tag, nested divs (a border div, a frame) kept whole.
constexpr std::string_view kStoryTag = "div";
constexpr std::string_view kHeaderStory =
    R"re(<div style='mso-element:header' id=h1>(?:[^a]|a)*</div>)re";
constexpr std::string_view kFooterStory =
    R"re(<div style='mso-element:footer' id=f1>(?:[^a]|a)*</div>)re";

// The field-code halves of Word's fields, as the body passes remove them; the
// result halves (a page number, a date, a property) stay.
constexpr Pass kDropFieldCodes{R"re(<!--\[if supportFields\]>(?:[^a]|a)*?<!\[endif\]-->)re", ""};

// The shape type Word writes once before the first picture.
constexpr Pass kDropShapeTypes{R"re(<v:shapetype(?:[^a]|a)*?</v:shapetype>)re", ""};

// Any characters up to a later point of the same shape. An unbounded span
// let a shape without a picture (a text box, a line, a rectangle) run on to
// the next picture's imagedata and swallow all the text between. A picture
// shape has neither its own end tag nor another shape before its imagedata,
// so it matches exactly as with an unbounded span.
constexpr std::string_view kWithinShape = R"re((?:(?!</v:shape>|<v:shape\b)(?:[^a]|a))*?)re";
constexpr std::string_view kVmlPictureReplacement = R"re(<img src="$3" width="$1" height="$2">)re";

// A VML picture: width and height as the shape's style gives them (with their
// units), then the source of its imagedata.
const std::string& VmlPicturePattern() {
  static const std::string pattern =
      std::string(R"re(<v:shape)re") + std::string(kWithinShape) +
      std::string(R"re(width:([^;"'>]*?);)re") + std::string(kWithinShape) +
      std::string(R"re(height:([^;"'>]*?)['";])re") + std::string(kWithinShape) +
      std::string(R"re(<v:imagedata src="([^">]*?)"(?:[^a]|a)*?</v:shape>)re");
  return pattern;
}

// The image fallback Word writes beside a VML picture
// (`<![if !vml]><img … src="image002.gif" …><![endif]>`). Once the VML itself
// has become an img, the fallback would show the picture a second time, from
// a source relative to the header file's folder that no page can reach; a
// fallback without a picture (a text box's wrapper) stays.
constexpr Pass kDropPictureFallbacks{
    R"re(<!\[if !vml\]>(?:(?!<!\[endif\]>)(?:[^a]|a))*?<img(?:(?!<!\[endif\]>)(?:[^a]|a))*?<!\[endif\]>)re",
    ""};

// What is left of the conditional comments around the VML.
constexpr Pass kDropVmlOpen{R"re(<!--\[if gte vml[^>]*?>)re", ""};
constexpr Pass kDropVmlClose{R"re(<!\[endif\]-->)re", ""};

// --- Page numbers --------------------------------------------------------------

// The number Word last computed stands directly inside the tag that carries
// mso-no-proof: after a page-number span (the complex-field form, whose code
// half is gone by now) or after a simple field's code. The PAGE pattern also
// takes a NUMPAGES field, which is why the NUMPAGES pass runs last.
constexpr std::string_view kPageNumberSpan =
    R"re((class=MsoPageNumber(?:[^a]|a)*?mso-no-proof[^>]*?)>[0-9]+</span>)re";
constexpr std::string_view kPageField =
    R"re((mso-field-code[^>]+?PAGE(?:[^a]|a)*?mso-no-proof[^>]*?)>[0-9]+</span>)re";
constexpr std::string_view kPageCountField =
    R"re((mso-field-code[^>]+?NUMPAGES(?:[^a]|a)*?mso-no-proof[^>]*?)>[0-9]+</span>)re";

std::string NumberReplacement(int number) {
  return "$1>" + std::to_string(number) + "</span>";
}

Status Apply(std::string& text, std::string_view pattern, std::string_view replacement) {
  Result<std::string> replaced = support::RegexpReplace(text, pattern, replacement);
  if (!replaced) return replaced.status();
  text = std::move(replaced).value();
  return Status::Ok();
}

Status Apply(std::string& text, const Pass& pass) {
  return Apply(text, pass.pattern, pass.replacement);
}

enum class Story { kHeader, kFooter };

// The header or footer as plain HTML whose pictures point into the resource
// folder; empty when the header file or the element is missing.
Result<std::string> ExtractStory(Story story, const project::DocumentRecord& document,
                                 const convert::CompanionFiles& files,
                                 const std::string& output_dir) {
  const std::string& prefix = document.FilenamePre;
  if (Status s = CheckPlainPrefix(prefix); !s) return s;
  std::string text = files.ReadText(kHeaderFile);
  if (Status s = Apply(text, kJoinStyleBreaks); !s) return s;
  Result<std::string> element = support::RegexpGetElement(
      text, kStoryTag, story == Story::kHeader ? kHeaderStory : kFooterStory);
  if (!element) return element.status();
  std::string html = std::move(element).value();
  if (html.empty()) return html;

  // Field codes go before the VML passes below, which remove every "<![endif]-->"
  // and so would leave a field code's comment open to the end of the page.
  if (Status s = Apply(html, kDropFieldCodes); !s) return s;
  if (Status s = Apply(html, kDropShapeTypes); !s) return s;
  Result<std::string> pictures = VmlPicturesToImages(html);
  if (!pictures) return pictures.status();
  if (*pictures != html) {
    html = std::move(pictures).value();
    if (Status s = Apply(html, kDropPictureFallbacks); !s) return s;
  }
  if (Status s = Apply(html, kDropVmlOpen); !s) return s;
  if (Status s = Apply(html, kDropVmlClose); !s) return s;
  html = cleanup::EndOpenComment(std::move(html));
  // Both are tidied per page in NumberFooter, after their page-number spans
  // have been found by their mso- declarations.
  return CopyHeaderFooterImages(html, files, output_dir, prefix);
}

bool OnHomePage(const project::DocumentRecord& document) {
  return document.HFHome != kHFHomeOff;
}

}  // namespace

Result<std::string> VmlPicturesToImages(std::string_view html) {
  return support::RegexpReplace(html, VmlPicturePattern(), kVmlPictureReplacement);
}

Result<std::string> NumberFooter(std::string_view footer, int page, int page_count) {
  std::string html(footer);
  if (Status s = Apply(html, kPageNumberSpan, NumberReplacement(page)); !s) return s;
  if (Status s = Apply(html, kPageField, NumberReplacement(page)); !s) return s;
  if (Status s = Apply(html, kPageCountField, NumberReplacement(page_count)); !s) return s;
  return cleanup::TidyHeaderFooter(std::move(html));
}

namespace {

// The story on every row that gets one, numbered for its page: pages count
// from 1 over those rows, so that "page 3 of 9" reads as the site shows it.
Status PlaceStory(Story story, SectionTable& sections, const project::DocumentRecord& document,
                  const convert::CompanionFiles& files, const std::string& output_dir,
                  std::string Section::*field) {
  std::string html;
  if ((story == Story::kHeader ? document.Header : document.Footer) == kFlagOn) {
    Result<std::string> extracted = ExtractStory(story, document, files, output_dir);
    if (!extracted) return extracted.status();
    html = std::move(extracted).value();
  }
  const bool on_home_page = OnHomePage(document);
  const int page_count = static_cast<int>(sections.size());
  int page = 0;  // counts only the rows that get the story
  for (size_t k = 0; k < sections.size(); ++k) {
    Section& row = sections[k];
    if (k == 0 && !on_home_page) {
      (row.*field).clear();
      continue;
    }
    ++page;
    if (html.empty()) {
      (row.*field).clear();
      continue;
    }
    Result<std::string> numbered = NumberFooter(html, page, page_count);
    if (!numbered) return numbered.status();
    row.*field = std::move(numbered).value();
  }
  return Status::Ok();
}

}  // namespace

Status BuildHeaders(SectionTable& sections, const project::DocumentRecord& document,
                    const convert::CompanionFiles& files, const std::string& output_dir) {
  return PlaceStory(Story::kHeader, sections, document, files, output_dir, &Section::HeaderHtml);
}

Status BuildFooters(SectionTable& sections, const project::DocumentRecord& document,
                    const convert::CompanionFiles& files, const std::string& output_dir) {
  return PlaceStory(Story::kFooter, sections, document, files, output_dir, &Section::FooterHtml);
}

}  // namespace tessarine::site
