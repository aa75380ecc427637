#include "convert/picture_convert.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "support/base64.h"
#include "support/process.h"
#include "support/sha256.h"

namespace tessarine::convert {

namespace {

namespace fs = std::filesystem;

// What one converter run may take, so a damaged metafile cannot hold up a
// build: LibreOffice gets a start-up allowance plus a little per picture.
constexpr std::chrono::seconds kOfficeBaseLimit{90};
constexpr std::chrono::milliseconds kOfficePerPicture{500};
constexpr std::chrono::seconds kOfficeMaxLimit{900};
constexpr std::chrono::seconds kMagickLimit{60};
// Bounds on what the converter's output may make us read.
constexpr std::uintmax_t kMaxPageBytes = 512ull << 20;
constexpr std::uintmax_t kMaxPngBytes = 128ull << 20;

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

bool IsPng(std::string_view bytes) {
  return bytes.substr(0, 8) == std::string_view(kPngSignature, 8);
}

// An executable file named `name` on PATH; empty when there is none.
std::string FindProgram(std::string_view name) {
  return support::FindProgram(name).value_or(std::string());
}

// Runs a converter with its output in `stdout_path` (or nowhere) for at most
// `limit`.
support::ProcessEnd RunConverter(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& stdout_path, std::chrono::milliseconds limit) {
  support::ProcessOptions options;
  options.output_file = stdout_path;
  options.time_limit = limit;
  return support::RunProcess(program, args, options);
}

}  // namespace

namespace {

// A fresh folder under the system's temporary folder, removed with the
// object; fails with the system's reason.
support::Result<support::ScratchFolder> PictureScratchFolder() {
  return support::ScratchFolder::Create(
      support::TemporaryFolder().value_or(std::filesystem::path("/tmp")), "tessarine-pictures-");
}

// Where converted pictures are kept between runs: $TESSARINE_PICTURE_CACHE,
// else $XDG_CACHE_HOME/tessarine/pictures, else ~/.cache/tessarine/pictures.
// Empty (no cache) when none can be made or the variable is set but empty.
fs::path PictureCacheFolder() {
  fs::path folder;
  if (const char* own = std::getenv("TESSARINE_PICTURE_CACHE")) {
    if (*own == '\0') return {};
    folder = own;
  } else if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') {
    folder = fs::path(xdg) / "tessarine" / "pictures";
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
    folder = fs::path(home) / ".cache" / "tessarine" / "pictures";
  } else {
    return {};
  }
  std::error_code error;
  fs::create_directories(folder, error);
  return error ? fs::path() : folder;
}

// Written beside its final name and renamed into place, so a reader (another
// build at the same time) sees a whole file or none. A failure only costs
// the next build a conversion.
void StoreInCache(const fs::path& cache, const std::string& name, std::string_view png) {
  const fs::path final_path = cache / name;
  const fs::path temporary =
      cache / (name + "." + std::to_string(::getpid()) + "-" +
               std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id())) + ".tmp");
  std::error_code error;
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(png.data(), static_cast<std::streamsize>(png.size()));
    if (!file) {
      file.close();
      fs::remove(temporary, error);
      return;
    }
  }
  fs::rename(temporary, final_path, error);
  if (error) fs::remove(temporary, error);
}

bool WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

// The whole file, or false when it is missing or larger than `limit`.
bool ReadFileBounded(const fs::path& path, std::uintmax_t limit, std::string& bytes) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error || size > limit) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.resize(static_cast<size_t>(size));
  file.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<size_t>(file.gcount()));
  return true;
}

// "file:///tmp/a%20b" for LibreOffice's -env:UserInstallation.
std::string FileUrl(const fs::path& path) {
  std::string url = "file://";
  for (unsigned char c : path.string()) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
        c == '-' || c == '_' || c == '.' || c == '~') {
      url += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

// One flat ODF text holding every picture as an as-character frame named
// "p<N>", N the picture's index.
std::string FlatOdfText(const std::vector<PictureToConvert>& pictures) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
      "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
      "office:version=\"1.2\" "
      "office:mimetype=\"application/vnd.oasis.opendocument.text\">"
      "<office:body><office:text>\n";
  for (size_t i = 0; i < pictures.size(); ++i) {
    text += "<text:p><draw:frame draw:name=\"p" + std::to_string(i) +
            "\" text:anchor-type=\"as-char\" svg:width=\"2cm\" svg:height=\"2cm\">"
            "<draw:image><office:binary-data>";
    text += support::EncodeBase64(pictures[i].bytes);
    text += "</office:binary-data></draw:image></draw:frame></text:p>\n";
  }
  text += "</office:text></office:body></office:document>\n";
  return text;
}

// The value of attribute `name` inside one tag's text; empty when absent.
std::string_view TagAttribute(std::string_view tag, std::string_view name) {
  size_t at = 0;
  while ((at = tag.find(name, at)) != std::string_view::npos) {
    const bool starts = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\n' ||
                                   tag[at - 1] == '\r' || tag[at - 1] == '\t');
    const size_t quote = at + name.size();
    if (starts && tag.substr(quote, 2) == "=\"") {
      const size_t end = tag.find('"', quote + 2);
      if (end == std::string_view::npos) return {};
      return tag.substr(quote + 2, end - quote - 2);
    }
    at += name.size();
  }
  return {};
}

// Reads the PNGs out of LibreOffice's HTML page: every <img> whose name is
// one of our frames and whose source is an embedded PNG.
void CollectEmbeddedPngs(std::string_view page, const std::vector<PictureToConvert>& pictures,
                         ConvertedPictures& result) {
  constexpr std::string_view kDataPrefix = "data:image/png;base64,";
  size_t at = 0;
  while ((at = page.find("<img", at)) != std::string_view::npos) {
    const size_t end = page.find('>', at);
    if (end == std::string_view::npos) break;
    const std::string_view tag = page.substr(at, end - at);
    at = end;
    const std::string_view name = TagAttribute(tag, "name");
    const std::string_view source = TagAttribute(tag, "src");
    if (name.size() < 2 || name[0] != 'p' || !source.starts_with(kDataPrefix)) continue;
    const std::string index_text(name.substr(1));
    if (index_text.find_first_not_of("0123456789") != std::string::npos) continue;
    const size_t index = std::strtoul(index_text.c_str(), nullptr, 10);
    if (index >= pictures.size()) continue;
    const std::string_view data = source.substr(kDataPrefix.size());
    if (data.size() / 4 * 3 > kMaxPngBytes) continue;
    std::string png;
    if (support::DecodeBase64(data, png) && IsPng(png))
      result.png[pictures[index].key] = std::move(png);
  }
}

ConvertedPictures ConvertWithOffice(const std::string& program,
                                    const std::vector<PictureToConvert>& pictures) {
  ConvertedPictures result;
  support::Result<support::ScratchFolder> scratch = PictureScratchFolder();
  if (!scratch) {
    result.problem = "no temporary folder for the conversion: " + scratch.message();
    return result;
  }
  const fs::path input = scratch->path() / "pictures.fodt";
  const fs::path output = scratch->path() / "out";
  std::error_code error;
  fs::create_directories(output, error);
  if (error || !WriteFile(input, FlatOdfText(pictures))) {
    result.problem = "cannot write the pictures for LibreOffice to " + scratch->path().string();
    return result;
  }
  const auto limit = std::min<std::chrono::milliseconds>(
      kOfficeMaxLimit,
      kOfficeBaseLimit + kOfficePerPicture * static_cast<long long>(pictures.size()));
  // A private profile: no clash with a LibreOffice the user has open, and
  // nothing left in the user's own settings.
  const support::ProcessEnd run = RunConverter(
      program,
      {"-env:UserInstallation=" + FileUrl(scratch->path() / "profile"), "--headless", "--invisible",
       "--norestore", "--nologo", "--nodefault", "--nolockcheck", "--convert-to",
       "html:HTML (StarWriter):EmbedImages", "--outdir", output.string(), input.string()},
      "", limit);
  if (!run.started) {
    result.problem =
        "LibreOffice could not be started: " + std::string(std::strerror(run.start_error));
    return result;
  }
  if (run.timed_out) {
    result.problem =
        "LibreOffice took longer than " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) +
        " seconds and was stopped";
    return result;
  }
  std::string page;
  if (!ReadFileBounded(output / "pictures.html", kMaxPageBytes, page)) {
    result.problem =
        "LibreOffice wrote no result (exit code " + std::to_string(run.exit_code) + ")";
    return result;
  }
  CollectEmbeddedPngs(page, pictures, result);
  if (result.png.size() < pictures.size()) {
    result.problem = "LibreOffice could not read " +
                     std::to_string(pictures.size() - result.png.size()) + " of them";
  }
  return result;
}

struct Magick {
  std::string program;
  bool version_7 = false;  // "magick IN OUT"; else "convert IN OUT"
};

// ImageMagick 7's magick, else a convert that says it is ImageMagick (other
// programs share the name).
Magick FindMagick() {
  static const Magick found = [] {
    Magick magick;
    if (std::string path = FindProgram("magick"); !path.empty()) {
      magick.program = path;
      magick.version_7 = true;
      return magick;
    }
    const std::string convert = FindProgram("convert");
    if (convert.empty()) return magick;
    support::Result<support::ScratchFolder> scratch = PictureScratchFolder();
    if (!scratch) return magick;
    const fs::path version = scratch->path() / "version.txt";
    const support::ProcessEnd run =
        RunConverter(convert, {"-version"}, version.string(), std::chrono::seconds(20));
    std::string text;
    if (run.exit_code == 0 && ReadFileBounded(version, 1 << 16, text) &&
        text.starts_with("Version: ImageMagick")) {
      magick.program = convert;
    }
    return magick;
  }();
  return found;
}

ConvertedPictures ConvertWithMagick(const Magick& magick,
                                    const std::vector<PictureToConvert>& pictures) {
  ConvertedPictures result;
  support::Result<support::ScratchFolder> scratch = PictureScratchFolder();
  if (!scratch) {
    result.problem = "no temporary folder for the conversion: " + scratch.message();
    return result;
  }
  std::string last_problem;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const PictureToConvert& picture = pictures[i];
    const fs::path input = scratch->path() / ("in" + std::to_string(i) + "." + picture.extension);
    const fs::path output = scratch->path() / ("out" + std::to_string(i) + ".png");
    if (!WriteFile(input, picture.bytes)) continue;
    // "[0]": the first frame of a multi-page TIFF.
    const support::ProcessEnd run = RunConverter(
        magick.program, {input.string() + "[0]", "png:" + output.string()}, "", kMagickLimit);
    std::string png;
    if (run.exit_code == 0 && ReadFileBounded(output, kMaxPngBytes, png) && IsPng(png)) {
      result.png[picture.key] = std::move(png);
    } else if (run.timed_out) {
      last_problem = "ImageMagick took too long and was stopped";
    }
    std::error_code error;
    fs::remove(input, error);
    fs::remove(output, error);
  }
  if (result.png.size() < pictures.size()) {
    result.problem = "ImageMagick could not convert " +
                     std::to_string(pictures.size() - result.png.size()) + " of them";
    if (!last_problem.empty()) result.problem += " (" + last_problem + ")";
  }
  return result;
}

}  // namespace

bool IsWebPictureFormat(std::string_view extension) {
  return extension == "png" || extension == "jpg" || extension == "gif" || extension == "bmp" ||
         extension == "svg" || extension == "webp";
}

std::string SniffPictureFormat(std::string_view bytes) {
  auto starts = [&](std::string_view prefix) { return bytes.starts_with(prefix); };
  if (IsPng(bytes)) return "png";
  if (starts("\xFF\xD8\xFF")) return "jpg";
  if (starts("GIF87a") || starts("GIF89a")) return "gif";
  if (starts("BM") && bytes.size() > 14) return "bmp";
  if (starts(std::string_view("\x01\x00\x00\x00", 4)) && bytes.size() >= 44 &&
      bytes.substr(40, 4) == " EMF") {
    return "emf";
  }
  if (starts("\xD7\xCD\xC6\x9A") || starts(std::string_view("\x01\x00\x09\x00", 4)) ||
      starts(std::string_view("\x02\x00\x09\x00", 4))) {
    return "wmf";
  }
  if (starts(std::string_view("II*\x00", 4)) || starts(std::string_view("MM\x00*", 4))) {
    return "tif";
  }
  if (starts("RIFF") && bytes.size() >= 12 && bytes.substr(8, 4) == "WEBP") return "webp";
  const std::string_view head = bytes.substr(0, 512);
  if ((head.starts_with("<?xml") || head.starts_with("<svg")) &&
      head.find("<svg") != std::string_view::npos) {
    return "svg";
  }
  return {};
}

std::string PictureConverterName() {
  if (!FindProgram("soffice").empty()) return "LibreOffice";
  if (!FindMagick().program.empty()) return "ImageMagick";
  return {};
}

ConvertedPictures ConvertPicturesToPng(const std::vector<PictureToConvert>& pictures) {
  if (pictures.empty()) return {};
  // A picture converted before (by content) comes from the cache: the
  // converter's start-up costs seconds per document, and the same logo or
  // diagram comes back in every build of a project.
  ConvertedPictures result;
  std::vector<PictureToConvert> missing;
  std::vector<std::string> digests;
  const fs::path cache = PictureCacheFolder();
  for (const PictureToConvert& picture : pictures) {
    std::string png;
    if (!cache.empty()) {
      const std::string digest = support::Sha256Hex(picture.bytes) + "." + picture.extension;
      if (ReadFileBounded(cache / (digest + ".png"), kMaxPngBytes, png) && IsPng(png)) {
        result.png[picture.key] = std::move(png);
        continue;
      }
      digests.push_back(digest);
    }
    missing.push_back(picture);
  }
  if (missing.empty()) return result;

  ConvertedPictures converted;
  if (const std::string office = FindProgram("soffice"); !office.empty()) {
    converted = ConvertWithOffice(office, missing);
  } else if (const Magick magick = FindMagick(); !magick.program.empty()) {
    converted = ConvertWithMagick(magick, missing);
  } else {
    converted.problem = "neither LibreOffice nor ImageMagick is installed";
  }
  for (size_t i = 0; i < missing.size(); ++i) {
    auto png = converted.png.find(missing[i].key);
    if (png == converted.png.end()) continue;
    if (!cache.empty()) StoreInCache(cache, digests[i] + ".png", png->second);
    result.png[png->first] = std::move(png->second);
  }
  result.problem = std::move(converted.problem);
  return result;
}

}  // namespace tessarine::convert
