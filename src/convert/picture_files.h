// The picture files of one Word HTML document in its companion folder.
//
// Word names them imageNNN.ext with one running counter for the whole
// document, in the order it writes them (image001.png, image002.jpg ...).
// A picture a browser shows as it is (PNG, JPEG, GIF ...) is one file that
// both the VML drawing and the <img> fallback name; one it cannot show (EMF,
// WMF, TIFF) is two: the original for the drawing and a PNG web copy for the
// fallback, numbered one after the other as Word numbers its pairs. Without
// a converter the fallback names the original too (the diagnostics say so).
//
// Each image part of the package is read and written once however often the
// document shows it, so the folder never holds more than the package itself
// (whose reads are bounded, see PackageLimits). What is written is counted
// as it is written against a budget of 256 MiB or a hundred times the
// package's size, whichever is more, and the sizes the zip directory states
// for the pictures are checked against it before anything is written: a
// small package whose entries inflate to gigabytes (many entries over one
// compressed stream) fails at once instead of filling the disk. A picture part that cannot
// be read is a content oddity: reported once and left out. A file that
// cannot be written is a failure, kept in status() for the caller.
//
// Internal to the convert library.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "convert/picture_convert.h"
#include "convert/word_html_page.h"
#include "support/status.h"

namespace tessarine::convert {

class DocxPackage;

class PictureFiles {
 public:
  using Converter = std::function<ConvertedPictures(const std::vector<PictureToConvert>&)>;

  // `folder`: the companion folder, which must exist; empty: names are given
  // out but nothing is read or written (rendering in memory). `diagnostics`
  // may be null.
  PictureFiles(const DocxPackage& package, std::string folder,
               std::vector<std::string>* diagnostics);
  // The files go into `held` (held in memory) instead of a folder on disk.
  PictureFiles(const DocxPackage& package, CompanionFiles& held,
               std::vector<std::string>* diagnostics);

  // What the image parts that `source_parts` relate to come to, as the zip
  // directory states their sizes, each part once.
  static std::uint64_t StatedSize(const DocxPackage& package,
                                  const std::vector<std::string>& source_parts);

  // Makes the PNG web copies, in one converter run, of the pictures that the
  // parts `source_parts` relate to and that browsers cannot show. Costs
  // nothing when there are none. Does nothing when nothing is written.
  void PrepareWebCopies(const std::vector<std::string>& source_parts, const Converter& converter);

  struct Files {
    std::string original;  // "image001.emf": what the VML drawing shows
    std::string web;       // "image002.png": what the <img> shows; may equal `original`
  };
  // The files of the image part `part_name`, written on its first use; null
  // when the part is missing or unreadable.
  const Files* Use(const std::string& part_name);

  // A picture made by the writer itself (a chart drawn as SVG) for the part
  // `part_name`: on first use `make` gives its bytes, written under the next
  // name with `extension`; null, then and on every later use, when `make`
  // gives nothing.
  const Files* UseMade(const std::string& part_name, const std::string& extension,
                       const std::function<std::optional<std::string>()>& make);

  // The next VML shape number as Word spells it: "_x0000_i1025" for inline
  // pictures, "_x0000_s1025" for shapes that float.
  std::string NextShapeId(bool floating);

  // Every file written, in order, for filelist.xml.
  const std::vector<std::string>& file_names() const { return names_; }
  // The first failed write; Ok while every write succeeded.
  const support::Status& status() const { return status_; }

 private:
  std::string NextName(const std::string& extension);
  void Write(const std::string& name, std::string bytes);
  void Diagnose(std::string message);
  void OverBudget(std::uint64_t bytes);
  bool Writes() const { return held_ != nullptr || !folder_.empty(); }

  const DocxPackage& package_;
  std::string folder_;
  CompanionFiles* held_ = nullptr;
  std::vector<std::string>* diagnostics_;
  int counter_ = 0;
  int inline_shapes_ = 0, floating_shapes_ = 0;
  std::map<std::string, std::optional<Files>, std::less<>> files_;
  // Prepared but not yet used: the original's format and its PNG copy.
  struct Prepared {
    std::string extension, png;
  };
  std::map<std::string, Prepared, std::less<>> prepared_;
  std::vector<std::string> names_;
  support::Status status_ = support::Status::Ok();
  std::uint64_t budget_ = 0;
  std::uint64_t written_ = 0;
};

}  // namespace tessarine::convert
