// Web copies of pictures that browsers cannot show. Word HTML gives every
// picture two forms: the original for the VML drawing and a PNG, GIF or JPEG
// for the <img> fallback that the later stages keep. Windows metafiles (EMF,
// WMF) and TIFF need a renderer to become PNG; on Linux that is LibreOffice
// or ImageMagick, whichever is installed, run as an outside program with a
// time limit.
//
// LibreOffice is preferred and gets all pictures of a document at once: its
// start-up costs seconds, and the word-processor package alone (which is all
// the .doc input needs) cannot open a lone metafile, but it can render every
// picture of one small flat ODF text into an HTML page with embedded PNGs.
// ImageMagick, the second choice, converts one file per run.
//
// Internal to the convert library.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tessarine::convert {

// The picture formats (by the file extension WriteWordHtml gives them) that
// every browser shows as they are.
bool IsWebPictureFormat(std::string_view extension);

// The extension a picture's bytes call for ("png", "jpg", "gif", "bmp",
// "emf", "wmf", "tif", "svg", "webp"), or "" when the bytes are none of those.
std::string SniffPictureFormat(std::string_view bytes);

struct PictureToConvert {
  std::string key;        // names the result
  std::string bytes;      // the picture file
  std::string extension;  // "emf", "wmf", "tif" ...
};

struct ConvertedPictures {
  std::map<std::string, std::string> png;  // key -> PNG bytes, for each picture converted
  // Why some or all pictures have no PNG (no converter installed, the
  // converter failed or ran out of time); empty when all were converted.
  std::string problem;
};

// The converter that ConvertPicturesToPng would use: "LibreOffice",
// "ImageMagick", or "" when neither is installed.
std::string PictureConverterName();

// Converts `pictures` to PNG with the installed converter. Never throws;
// what could not be converted is missing from the result and explained in
// `problem`. Leaves no process and no temporary file behind.
ConvertedPictures ConvertPicturesToPng(const std::vector<PictureToConvert>& pictures);

}  // namespace tessarine::convert
