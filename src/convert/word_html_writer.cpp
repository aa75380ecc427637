#include "convert/word_html_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>

#include "convert/docx_package.h"
#include "convert/html_body.h"
#include "convert/html_document.h"
#include "convert/html_header.h"
#include "convert/html_text.h"
#include "convert/picture_files.h"
#include "support/files.h"
#include "support/text_file.h"

namespace tessarine::convert {

namespace {

// The language of <body lang=…>: the document's default East Asian language
// when it has one (a Chinese document says ZH-CN even for its Latin runs),
// else its default Latin language; Chinese Word's own default otherwise.
std::string BodyLanguage(const RunProperties& defaults, const ThemeFontLanguages& theme) {
  const auto east_asian = [](std::string_view tag) {
    return tag.starts_with("zh") || tag.starts_with("ja") || tag.starts_with("ko") ||
           tag.starts_with("ZH") || tag.starts_with("JA") || tag.starts_with("KO");
  };
  if (defaults.lang_east_asia && east_asian(*defaults.lang_east_asia)) {
    return HtmlLanguage(*defaults.lang_east_asia);
  }
  if (!theme.east_asia.empty() && east_asian(theme.east_asia)) return HtmlLanguage(theme.east_asia);
  if (defaults.lang && !defaults.lang->empty()) return HtmlLanguage(*defaults.lang);
  if (!theme.latin.empty()) return HtmlLanguage(theme.latin);
  return "ZH-CN";
}

// filelist.xml has no encoding declaration, so it is kept to ASCII: other
// characters of the file name become character references. The pictures are
// listed in the order they were written, before the list itself, as Word
// lists them.
std::string FileListXml(const std::string& htm_name, const std::vector<std::string>& pictures) {
  std::string xml =
      "<xml xmlns:o=\"urn:schemas-microsoft-com:office:office\">\r\n <o:MainFile HRef=\"../";
  size_t pos = 0;
  while (pos < htm_name.size()) {
    const char32_t c = NextCodePoint(htm_name, pos);
    if (c >= 0x80 || c == '&' || c == '<' || c == '>' || c == '"') {
      xml += "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
    } else if (c >= 0x20) {
      xml += static_cast<char>(c);
    }
  }
  xml += "\"/>\r\n";
  for (const std::string& picture : pictures) xml += " <o:File HRef=\"" + picture + "\"/>\r\n";
  xml += " <o:File HRef=\"filelist.xml\"/>\r\n</xml>";
  return xml;
}

}  // namespace

HtmlDocument BuildHtmlDocument(const DocxPackage& package, const std::string& files_folder,
                               std::vector<std::string>* diagnostics) {
  HtmlDocument doc;
  doc.package = &package;
  doc.diagnostics = diagnostics;
  doc.files_folder = files_folder;
  doc.styles = StyleSheet::Parse(package.styles_part());
  const pugi::xml_document* numbering = package.numbering_part();
  const pugi::xml_document* styles = package.styles_part();
  doc.numbering =
      Numbering::Parse(numbering != nullptr ? pugi::xml_node(*numbering) : pugi::xml_node(),
                       styles != nullptr ? pugi::xml_node(*styles) : pugi::xml_node());
  for (pugi::xml_node sect : SectionNodes(package.body_outline())) {
    doc.sections.push_back(ParseSectionProperties(sect));
  }
  const DocumentSettings& settings = package.settings();
  doc.fonts.theme = &package.theme_fonts();
  doc.fonts.languages = &settings.theme_font_lang;
  doc.fonts.table = &package.font_table();
  const RunProperties& defaults = doc.styles.default_run();
  doc.languages.latin = defaults.lang ? HtmlLanguage(*defaults.lang) : "EN-US";
  doc.languages.east_asia =
      defaults.lang_east_asia ? HtmlLanguage(*defaults.lang_east_asia) : "ZH-CN";
  doc.languages.bidi = defaults.lang_bidi ? HtmlLanguage(*defaults.lang_bidi) : "AR-SA";
  doc.body_language = BodyLanguage(defaults, settings.theme_font_lang);
  doc.title = package.core_properties().title;
  if (doc.title.empty()) doc.title = FirstWords(package);
  if (diagnostics != nullptr) {
    for (const std::string& message : doc.styles.diagnostics()) diagnostics->push_back(message);
    for (const std::string& message : doc.numbering.warnings()) diagnostics->push_back(message);
  }
  return doc;
}

namespace {

size_t PageBudget(const DocxPackage& package) {
  // Word HTML comes to less than document.xml; even a document of nothing but
  // empty table cells, the most markup per byte, stays far inside 64 times
  // its size.
  return std::max<size_t>(size_t{64} << 20, package.main_document_size() * 64);
}

}  // namespace

std::string RenderWordHtml(const DocxPackage& package, const std::string& files_folder_name,
                           std::vector<std::string>* diagnostics) {
  const HtmlDocument doc = BuildHtmlDocument(package, files_folder_name, diagnostics);
  std::string out;
  // Word HTML comes to somewhat less than document.xml itself (about 0.7 of
  // it on large generated documents), so its size is one reservation that
  // spares the regrowth copies; pages reserved and never written cost no
  // memory.
  out.reserve(std::max<size_t>(64 * 1024, package.main_document_size()));
  WriteHtmlHead(doc, out);
  WriteHtmlBody(doc, out);
  return out;
}

support::Result<WordHtmlResult> WriteWordHtml(const DocxPackage& package,
                                              const std::string& target_htm,
                                              const std::function<bool()>& stop_requested) {
  namespace fs = std::filesystem;
  const fs::path target(target_htm);
  const std::string htm_name = target.filename().string();
  const std::string stem = target.stem().string();
  const std::string folder_name = stem + ".files";
  const fs::path folder = target.parent_path() / folder_name;

  WordHtmlResult result;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    return support::Status::Error(support::StatusCode::kIoFailed,
                                  folder.string() + ": " + error.message());
  }

  // The page is encoded and written while it is rendered, a few megabytes at
  // a time, so a long document never holds its whole HTML beside its parsed
  // XML. Encoding piece by piece gives the same bytes as encoding the whole.
  // Written under a temporary name and put in place once complete, so a
  // failure leaves an earlier page as it was.
  support::ReplacementFile file(target_htm);
  support::Status written =
      file.fd() >= 0
          ? support::Status::Ok()
          : support::Status::Error(support::StatusCode::kIoFailed,
                                   "cannot write " + target_htm + ": " + std::strerror(errno));
  const std::function<void(std::string&)> drain = [&](std::string& text) {
    if (written.ok()) {
      auto bytes = support::EncodeText(text, support::EncodingAnsi);
      if (!bytes) {
        written = support::Status::Error(support::StatusCode::kIoFailed,
                                         "cannot write " + target_htm + ": " + bytes.message());
      } else if (!file.Write(*bytes)) {
        written =
            support::Status::Error(support::StatusCode::kIoFailed,
                                   "cannot write " + target_htm + ": " + std::strerror(errno));
      }
    }
    text.clear();
  };
  PictureFiles pictures(package, folder.string(), &result.diagnostics);
  std::string header_file;
  {
    const HtmlDocument doc = BuildHtmlDocument(package, folder_name, &result.diagnostics);
    // The web copies of metafiles and TIFF pictures come from one converter
    // run before the page is written, since the page names them as it goes.
    std::vector<std::string> picture_sources = {package.main_part_name()};
    for (const Relationship& rel : package.Relationships(package.main_part_name())) {
      if (!rel.external && (rel.type == kRelFootnotes || rel.type == kRelEndnotes)) {
        picture_sources.push_back(rel.target);
      }
    }
    const HeaderFooterPlan stories = PlanHeaderFooters(doc);
    for (const HeaderFooterStory& story : stories.stories) {
      picture_sources.push_back(story.part_name);
    }
    pictures.PrepareWebCopies(picture_sources, ConvertPicturesToPng);
    std::string out;
    out.reserve(
        std::min<size_t>(8 << 20, std::max<size_t>(64 * 1024, package.main_document_size())));
    WriteHtmlHead(doc, out);
    BodyWriter writer(doc, out);
    writer.SetDrain(&drain);
    writer.SetBudget(PageBudget(package));
    writer.SetPictures(&pictures);
    writer.SetStop(&stop_requested);
    writer.Write();
    if (writer.stopped()) {
      // The replacement file is dropped unwritten: the target stays as it was.
      result.stopped = true;
      return result;
    }
    drain(out);
    if (written.ok() && !writer.budget_status().ok()) written = writer.budget_status();
    if (written.ok() && !writer.status().ok()) {
      written =
          support::Status::Error(support::StatusCode::kIoFailed,
                                 "cannot write " + target_htm + ": " + writer.status().message());
    }
    // After the page, so its pictures are numbered after the page's.
    header_file = RenderHeaderFile(doc, stories, htm_name, &pictures);
  }
  if (written.ok() && !pictures.status().ok()) written = pictures.status();
  if (written.ok()) written = file.Commit();
  if (!written.ok()) return written;
  std::vector<std::string> listed = pictures.file_names();
  const fs::path header_path = folder / "header.htm";
  if (!header_file.empty()) {
    // In the main file's encoding, as Word writes it.
    if (support::Status status = support::WriteTextFile(header_path.string(), header_file, "0");
        !status) {
      return status;
    }
    listed.emplace_back("header.htm");
  } else {
    // A header file left from an earlier conversion must not pass for this
    // document's.
    fs::remove(header_path, error);
  }
  if (support::Status status = support::WriteTextFile((folder / "filelist.xml").string(),
                                                      FileListXml(htm_name, listed), "0");
      !status) {
    return status;
  }
  return result;
}

}  // namespace tessarine::convert
