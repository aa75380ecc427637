#include "convert/word_html_writer.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

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

// The rendered page goes through code page 936 and back a piece at a time, a
// quarter of a megabyte at a time: the text is then what reading the written
// file gives (a character the code page lacks reads back as its character
// reference), with no more than that quarter held twice more beside it.
// Pieces end between characters, so piece by piece gives the same bytes as
// the whole. Threaded, the pieces the writer hands over are converted on a
// thread of their own, in the order given, two at most waiting, while the
// writer goes on in a buffer that an earlier piece emptied.
class RoundTrip {
 public:
  RoundTrip(std::string& page, const std::string& htm_name, bool threaded)
      : page_(page), htm_name_(htm_name) {
    if (threaded) thread_ = std::thread([this] { Work(); });
  }
  ~RoundTrip() { (void)Finish(); }
  RoundTrip(const RoundTrip&) = delete;
  RoundTrip& operator=(const RoundTrip&) = delete;

  // Takes `text` onto the page and leaves it empty.
  void Take(std::string& text) {
    if (!thread_.joinable()) {
      Convert(text);
      text.clear();
      return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kMostWaiting; });
    waiting_.push_back(std::move(text));
    text = std::move(spare_);
    spare_ = std::string();
    text.clear();
    changed_.notify_all();
  }

  // Once every piece is on the page: the first failure, if any.
  support::Status Finish() {
    if (thread_.joinable()) {
      {
        std::lock_guard lock(mutex_);
        finished_ = true;
      }
      changed_.notify_all();
      thread_.join();
    }
    return status_;
  }

 private:
  static constexpr size_t kRoundTripBytes = 256 << 10;
  static constexpr size_t kMostWaiting = 2;

  void Convert(std::string_view text) {
    for (size_t at = 0; at < text.size() && status_.ok();) {
      size_t end = std::min(text.size(), at + kRoundTripBytes);
      while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
      auto bytes = support::EncodeText(text.substr(at, end - at), support::EncodingAnsi);
      if (!bytes) {
        status_ = support::Status::Error(support::StatusCode::kIoFailed,
                                         "cannot write " + htm_name_ + ": " + bytes.message());
      } else {
        page_ += support::DecodeText(*bytes, support::EncodingAnsi);
      }
      at = end;
    }
  }

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return finished_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      std::string piece = std::move(waiting_.front());
      waiting_.pop_front();
      lock.unlock();
      try {
        Convert(piece);
      } catch (const std::bad_alloc&) {
        status_ = support::Status::Error(support::StatusCode::kResourceLimit,
                                         "cannot write " + htm_name_ + ": not enough memory");
      }
      lock.lock();
      // Its memory serves the writer again.
      if (piece.capacity() > spare_.capacity()) spare_ = std::move(piece);
      changed_.notify_all();
    }
  }

  std::string& page_;
  const std::string& htm_name_;
  support::Status status_ = support::Status::Ok();  // the converting thread's until Finish
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> waiting_;
  std::string spare_;
  bool finished_ = false;
};

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

support::Result<WordHtmlResult> RenderWordHtmlPage(const DocxPackage& package,
                                                   const std::string& htm_name, WordHtmlPage& page,
                                                   const std::string& spill_folder,
                                                   const std::function<bool()>& stop_requested,
                                                   std::uint64_t held_limit) {
  namespace fs = std::filesystem;
  const std::string folder_name = fs::path(htm_name).stem().string() + ".files";
  page = WordHtmlPage();
  // Word HTML comes to somewhat less than document.xml (see RenderWordHtml).
  page.html.reserve(package.main_document_size());
  WordHtmlResult result;
  support::Status written = support::Status::Ok();
  // Pieces go through code page 936 on a second thread when the package is
  // read with two.
  RoundTrip round_trip(page.html, htm_name, package.threads() >= 2);
  const std::function<void(std::string&)> drain = [&](std::string& text) { round_trip.Take(text); };
  std::optional<PictureFiles> pictures;
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
    if (!spill_folder.empty() && PictureFiles::StatedSize(package, picture_sources) > held_limit) {
      std::error_code error;
      fs::create_directories(spill_folder, error);
      if (error) {
        return support::Status::Error(support::StatusCode::kIoFailed,
                                      spill_folder + ": " + error.message());
      }
      page.files = CompanionFiles::InFolder(spill_folder);
      pictures.emplace(package, spill_folder, &result.diagnostics);
    } else {
      pictures.emplace(package, page.files, &result.diagnostics);
    }
    pictures->PrepareWebCopies(picture_sources, ConvertPicturesToPng);
    std::string out;
    out.reserve(
        std::min<size_t>(2 << 20, std::max<size_t>(64 * 1024, package.main_document_size())));
    WriteHtmlHead(doc, out);
    BodyWriter writer(doc, out);
    writer.SetDrain(&drain);
    writer.SetBudget(PageBudget(package));
    writer.SetPictures(&*pictures);
    writer.SetStop(&stop_requested);
    writer.Write();
    if (writer.stopped()) {
      result.stopped = true;
      return result;
    }
    drain(out);
    written = round_trip.Finish();
    if (written.ok() && !writer.budget_status().ok()) written = writer.budget_status();
    if (written.ok() && !writer.status().ok()) {
      written =
          support::Status::Error(support::StatusCode::kIoFailed,
                                 "cannot write " + htm_name + ": " + writer.status().message());
    }
    // After the page, so its pictures are numbered after the page's.
    header_file = RenderHeaderFile(doc, stories, htm_name, &*pictures);
  }
  if (written.ok() && !pictures->status().ok()) written = pictures->status();
  if (!written.ok()) return written;
  std::vector<std::string> listed = pictures->file_names();
  // In the main file's encoding, as Word writes it.
  const auto add_text = [&](const std::string& name, const std::string& text) {
    if (!page.files.held()) return support::WriteTextFile(page.files.folder() + name, text, "0");
    auto bytes = support::EncodeText(text, support::EncodingAnsi);
    if (bytes) page.files.Add(name, std::move(bytes).value());
    return bytes.status();
  };
  if (!header_file.empty()) {
    if (support::Status status = add_text("header.htm", header_file); !status) return status;
    listed.emplace_back("header.htm");
  } else if (!page.files.held()) {
    // A header file left from an earlier conversion must not pass for this
    // document's.
    std::error_code error;
    fs::remove(page.files.folder() + "header.htm", error);
  }
  if (support::Status status = add_text("filelist.xml", FileListXml(htm_name, listed)); !status) {
    return status;
  }
  return result;
}

namespace {

// The page at `target_htm` and its companion files, held ones written into
// the folder beside it (where the others already lie).
support::Status WriteWordHtmlPage(const WordHtmlPage& page, const std::string& target_htm) {
  namespace fs = std::filesystem;
  const fs::path target(target_htm);
  const fs::path folder = target.parent_path() / (target.stem().string() + ".files");
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    return support::Status::Error(support::StatusCode::kIoFailed,
                                  folder.string() + ": " + error.message());
  }
  const std::string prefix = folder.string() + "/";
  bool has_header = false;
  // The pictures (`lists` false) or header.htm and filelist.xml.
  const auto write_files = [&](bool lists) {
    for (const CompanionFile& file : page.files.held_files()) {
      const bool header = file.name == "header.htm";
      if ((header || file.name == "filelist.xml") != lists) continue;
      has_header = has_header || header;
      if (support::Status status = page.files.CopyTo(file.name, prefix + file.name); !status) {
        return status;
      }
    }
    return support::Status::Ok();
  };
  // The pictures before the page and the lists after it, as Word writes them.
  if (support::Status status = write_files(false); !status) return status;
  if (support::Status status = support::WriteTextFile(target_htm, page.html, "0"); !status) {
    return status;
  }
  if (support::Status status = write_files(true); !status) return status;
  // A header file left from an earlier conversion must not pass for this
  // document's.
  if (page.files.held() && !has_header) fs::remove(folder / "header.htm", error);
  return support::Status::Ok();
}

}  // namespace

support::Result<WordHtmlResult> WriteWordHtml(const DocxPackage& package,
                                              const std::string& target_htm,
                                              const std::function<bool()>& stop_requested) {
  namespace fs = std::filesystem;
  const fs::path target(target_htm);
  const std::string folder = (target.parent_path() / (target.stem().string() + ".files")).string();
  WordHtmlPage page;
  // Pictures too large to hold go straight into the companion folder.
  support::Result<WordHtmlResult> result =
      RenderWordHtmlPage(package, target.filename().string(), page, folder + "/", stop_requested);
  if (!result || result->stopped) return result;
  if (support::Status written = WriteWordHtmlPage(page, target_htm); !written) return written;
  return result;
}

}  // namespace tessarine::convert
