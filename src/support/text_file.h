// Whole-file text reading and writing with byte-order marks.
//
// Text in memory is UTF-8. "ANSI" is code page 936 on every system (the
// Windows table, through ICU), so Word HTML and template pages decode the same
// way everywhere. Every file the system reads or writes goes through here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/files.h"
#include "support/status.h"

namespace tessarine::support {

enum TextEncoding : int32_t {
  EncodingDetect = -1,
  EncodingAnsi = 0,
  EncodingUtf8 = 1,
  EncodingUtf16LE = 2,
  EncodingUtf16BE = 3,
  EncodingUtf32LE = 4,
  EncodingUtf32BE = 5,
};

struct Bom {
  uint32_t bytes = 0;  // mark bytes in the low bytes, first byte lowest
  int length = 0;      // 0 to 4
};

// Looks at a file's first four bytes, read as one little-endian value (missing
// bytes count as 0). Returns the mark's length and sets *encoding to what it
// shows; without a mark that is EncodingAnsi and length 0.
int DetectBom(uint32_t first_four_bytes, TextEncoding* encoding);

// The mark written in front of a new file in `encoding`; length 0 for ANSI and
// for any value outside 1..5.
Bom BomForEncoding(int32_t encoding);

// Decodes bytes in the given encoding (never EncodingDetect) into valid UTF-8.
// Invalid input becomes U+FFFD; UTF-32 gives empty text.
std::string DecodeText(std::string_view bytes, TextEncoding encoding);

// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Decodes bytes in a character set named as a file declares it ("GB2312",
// "Big5", "Shift_JIS", "windows-1252" ...) into UTF-8 through ICU. What is
// not valid in that set becomes U+FFFD and is counted in `*replaced`. Fails
// for a name ICU does not know.
Result<std::string> DecodeCharset(std::string_view bytes, std::string_view charset,
                                  size_t* replaced);

// Encodes UTF-8 text. In ANSI a character code page 936 cannot hold is written
// as a numeric character reference "&#N;" so that nothing is lost.
// Fails for UTF-32 and EncodingDetect.
Result<std::string> EncodeText(std::string_view utf8, TextEncoding encoding);

// Reads a whole file. `*encoding` is in-out: EncodingDetect takes the encoding
// from the mark (and reports it back); a given encoding skips a mark only when
// the mark is its own. Empty text on any failure (missing file, 2 GiB or more,
// invalid encoding value).
std::string ReadText(const std::string& path, int32_t* encoding);

// Writes (or appends) a whole text; see the header of this file for the
// encodings. `*encoding` is in-out as for ReadText; `default_encoding` is used
// for a new or empty file when `*encoding` is EncodingDetect (append only).
// The failure message names the path and the reason.
Status WriteText(const std::string& path, std::string_view text, bool append, int32_t* encoding,
                 int32_t default_encoding);

// The entry points the rest of the system uses: input is always decoded as
// ANSI; output in the FileEncode setting ("0" ANSI, "1" UTF-8 with its mark),
// always replacing the file.
std::string ReadTextFile(const std::string& path);
Status WriteTextFile(const std::string& path, std::string_view text, std::string_view file_encode);

// WriteTextFile but for its last step: on success the complete file waits in
// `replacement` and the target changes only when the caller commits it (and
// stays as it was if the caller drops it). Lets a caller write files on
// several threads and put them in place in an order of its own.
Status WriteTextFileUncommitted(const std::string& path, std::string_view text,
                                std::string_view file_encode,
                                std::optional<ReplacementFile>& replacement);

// The bytes WriteTextFile would write to `path` for `text`: the encoding's
// mark and the encoded text. A failure reads as WriteTextFile's. Lets a
// caller make files' bytes on several threads and write them on one.
Result<std::string> TextFileBytes(const std::string& path, std::string_view text,
                                  std::string_view file_encode);

// Writes `bytes` to `path` through a ReplacementFile: the old file stays as
// it was unless all of them are written. A failure names the path.
Status WriteFileBytes(const std::string& path, std::string_view bytes);

}  // namespace tessarine::support
