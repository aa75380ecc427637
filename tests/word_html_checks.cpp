#include "word_html_checks.h"

#include <gtest/gtest.h>

#include "convert/word_html_writer.h"
#include "project/document_record.h"
#include "site/header_footer.h"
#include "support/regex.h"

namespace tessarine::testing {

size_t Count(std::string_view text, std::string_view piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string_view::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

std::string BodyOf(const std::string& html) {
  return html.substr(html.find("<body"));
}

PageSetup ParsePageSetup(const std::string& html) {
  const size_t title_end = html.find("</title>");
  std::string head = html.substr(title_end + 8, html.find("</head>") - title_end - 8);
  head = support::RegexpReplace(head, "<!--\\[if gte mso [0-9]+\\]>([^a]|a)+?<!\\[endif\\]-->", "")
             .value_or("");
  std::string sheet;
  auto styles = support::RegexpExecute("<style>([^a]|a)+?</style>", head);
  EXPECT_TRUE(styles.ok());
  for (const auto& match : styles.value_or({})) {
    if (!sheet.empty()) sheet += "\r\n";
    sheet += match.value;
  }
  sheet = support::RegexpReplace(sheet, "</?style>", "").value_or("");
  return {
      support::RegexpSubMatch(sheet, "@page\\s[^\\{]+?\\{[^\\}]*?size:([^;\\}]+);[^\\}]*?\\}", 0)
          .value_or("?"),
      support::RegexpSubMatch(sheet, "@page\\s[^\\{]+?\\{[^\\}]*?margin:([^;\\}]+);[^\\}]*?\\}", 0)
          .value_or("?")};
}

WholeAndPieces RenderWholeAndInPieces(const std::string& path) {
  WholeAndPieces both;
  convert::PackageLimits parsed_ahead = kTinyPieces;
  parsed_ahead.threads = 2;
  for (const auto& [limits, out] :
       {std::pair{kWholeBody, &both.whole}, std::pair{kTinyPieces, &both.pieces},
        std::pair{parsed_ahead, &both.pieces_parsed_ahead}}) {
    auto package = convert::DocxPackage::Open(path, limits);
    if (!package.ok()) {
      *out = "Open failed: " + package.message();
      continue;
    }
    *out = convert::RenderWordHtml(*package, "in.files", nullptr);
    if (out == &both.pieces) both.read_in_pieces = package->body_outline() != package->body();
  }
  return both;
}

std::string Difference(const std::string& whole, const std::string& pieces) {
  size_t at = 0;
  while (at < whole.size() && at < pieces.size() && whole[at] == pieces[at]) ++at;
  if (at == whole.size() && at == pieces.size()) return {};
  const size_t from = at > 80 ? at - 80 : 0;
  return "byte " + std::to_string(at) + "\n whole:  " + whole.substr(from, 160) +
         "\n pieces: " + pieces.substr(from, 160);
}

site::SectionTable SitePages(const std::string& scratch, const std::string& output, int pages) {
  site::SectionTable sections(static_cast<size_t>(pages));
  project::DocumentRecord document;
  document.FilenamePre = "doc";
  document.Header = "1";
  document.Footer = "1";
  document.HFHome = "1";
  const auto files = convert::CompanionFiles::InFolder(scratch + "doc.files/");
  EXPECT_TRUE(site::BuildHeaders(sections, document, files, output).ok());
  EXPECT_TRUE(site::BuildFooters(sections, document, files, output).ok());
  return sections;
}

std::vector<std::string> SpanNumbers(const std::string& html) {
  std::vector<std::string> numbers;
  auto matches = support::RegexpExecute(">([0-9]+)</span>", html);
  EXPECT_TRUE(matches.ok());
  if (matches.ok()) {
    for (const auto& m : *matches) numbers.push_back(*m.groups[0]);
  }
  return numbers;
}

}  // namespace tessarine::testing
