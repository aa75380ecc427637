#include "support/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

#include "support/files.h"

namespace tessarine::support {
namespace {

// The Windows table for code page 936. glibc's GBK and ICU's GB18030 differ
// from it on 0x80, 0xFF and the user-defined cells, which Word HTML does use.
constexpr const char* kAnsiConverterName = "windows-936-2000";

// Files of this size or more are refused without being read: no page comes
// near it, and a stray huge file must not exhaust memory.
constexpr off_t kMaxFileSize = off_t{1} << 31;

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
// What NextUtf8 gives for an ill-formed sequence; never a code point.
constexpr char32_t kIllFormed = 0x110000;

bool IsValidEncoding(int32_t encoding) {
  return encoding >= EncodingAnsi && encoding <= EncodingUtf32BE;
}

std::string ErrnoText(int error) {
  return std::generic_category().message(error);
}

// ---------------------------------------------------------------------------
// UTF-8 and UTF-16 by hand: these are simple, and doing them here keeps every
// conversion a single pass over whole buffers.

char* PutUtf8(char* out, char32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

size_t Utf8Length(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// Decodes one code point at `pos`. An ill-formed sequence gives kIllFormed and
// consumes its maximal subpart (the lead byte and the continuation bytes that
// were still possible), so one bad byte never swallows the ASCII after it.
char32_t NextUtf8(std::string_view s, size_t& pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos++);
  if (lead < 0x80) {
    return lead;
  }
  int trail = 0;
  char32_t c = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) {
      low = 0xA0;
    }
    if (lead == 0xED) {
      high = 0x9F;  // no encoded surrogates
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    c = lead & 0x07;
    if (lead == 0xF0) {
      low = 0x90;
    }
    if (lead == 0xF4) {
      high = 0x8F;
    }
  } else {
    return kIllFormed;
  }
  for (int i = 0; i < trail; ++i) {
    if (pos >= s.size()) {
      return kIllFormed;
    }
    const unsigned char b = byte(pos);
    if (b < low || b > high) {
      return kIllFormed;
    }
    low = 0x80;
    high = 0xBF;
    c = (c << 6) | (b & 0x3F);
    ++pos;
  }
  return c;
}

// Length of the longest well-formed UTF-8 prefix. Runs of ASCII, most of
// any HTML, are passed eight bytes at a time.
size_t ValidUtf8Prefix(std::string_view s) {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  size_t pos = 0;
  while (pos < s.size()) {
    if (static_cast<unsigned char>(s[pos]) < 0x80) {
      ++pos;
      while (pos + 8 <= s.size()) {
        uint64_t word;
        std::memcpy(&word, s.data() + pos, 8);
        if ((word & kHighBits) != 0) break;
        pos += 8;
      }
      continue;
    }
    const size_t start = pos;
    if (NextUtf8(s, pos) == kIllFormed) {
      return start;
    }
  }
  return pos;
}

std::string SanitizeUtf8(std::string_view s) {
  size_t valid = ValidUtf8Prefix(s);
  if (valid == s.size()) {
    return std::string(s);
  }
  std::string out;
  out.reserve(s.size() + 16);
  out.append(s.substr(0, valid));
  size_t pos = valid;
  while (pos < s.size()) {
    NextUtf8(s, pos);  // known to be ill-formed: the valid run stopped here
    out.append(kReplacementUtf8);
    // Copy the next well-formed stretch in one piece.
    const size_t run = ValidUtf8Prefix(s.substr(pos));
    out.append(s.substr(pos, run));
    pos += run;
  }
  return out;
}

// Walks UTF-16 code units given by `unit(i)`, pairing surrogates; a surrogate
// without its partner becomes U+FFFD so the result is always valid UTF-8.
template <typename UnitAt>
void ForEachCodePoint(size_t count, UnitAt unit, auto&& visit) {
  for (size_t i = 0; i < count; ++i) {
    const char32_t u = unit(i);
    if (u < 0xD800 || u > 0xDFFF) {
      visit(u);
    } else if (u <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      visit(0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else {
      visit(kReplacement);
    }
  }
}

// Two passes (measure, then write) so a multi-megabyte page is allocated once
// at its final size.
template <typename UnitAt>
std::string Utf16ToUtf8(size_t count, UnitAt unit) {
  size_t length = 0;
  ForEachCodePoint(count, unit, [&](char32_t c) { length += Utf8Length(c); });
  std::string out(length, '\0');
  char* p = out.data();
  ForEachCodePoint(count, unit, [&](char32_t c) { p = PutUtf8(p, c); });
  return out;
}

// UTF-16 from bytes; an odd last byte is a code unit of its own whose high
// byte is 0, whichever the byte order.
std::string DecodeUtf16(std::string_view bytes, bool big_endian) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t whole = bytes.size() / 2;
  const size_t count = (bytes.size() + 1) / 2;
  if (big_endian) {
    return Utf16ToUtf8(count, [&](size_t i) -> char32_t {
      return i < whole ? char32_t(p[2 * i] << 8 | p[2 * i + 1]) : char32_t(p[2 * i]);
    });
  }
  return Utf16ToUtf8(count, [&](size_t i) -> char32_t {
    return i < whole ? char32_t(p[2 * i] | p[2 * i + 1] << 8) : char32_t(p[2 * i]);
  });
}

template <typename Visit>
void ForEachUtf8CodePoint(std::string_view s, Visit visit) {
  size_t pos = 0;
  while (pos < s.size()) {
    const auto b = static_cast<unsigned char>(s[pos]);
    if (b < 0x80) {
      visit(char32_t{b});
      ++pos;
    } else {
      const char32_t c = NextUtf8(s, pos);
      visit(c == kIllFormed ? kReplacement : c);
    }
  }
}

std::string EncodeUtf16(std::string_view utf8, bool big_endian) {
  std::string out;
  out.reserve(utf8.size() * 2);  // two bytes per input byte at most
  const auto put = [&](char32_t unit) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    out.push_back(big_endian ? high : low);
    out.push_back(big_endian ? low : high);
  };
  ForEachUtf8CodePoint(utf8, [&](char32_t c) {
    if (c < 0x10000) {
      put(c);
    } else {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  });
  return out;
}

// ---------------------------------------------------------------------------
// Code page 936 through ICU.

// ANSI output keeps a character the code page lacks as "&#N;". ICU's stock
// substitute and escape callbacks drop default-ignorable characters (a soft
// hyphen U+00AD, for one) without a trace, so this one writes every character.
void WriteCharacterReference(const void* /*context*/, UConverterFromUnicodeArgs* args,
                             const UChar* /*code_units*/, int32_t /*length*/, UChar32 code_point,
                             UConverterCallbackReason reason, UErrorCode* error) {
  if (reason > UCNV_IRREGULAR) {
    return;  // reset, close, clone: nothing to write
  }
  if (code_point < 0 || (code_point >= 0xD800 && code_point <= 0xDFFF) || code_point > 0x10FFFF) {
    code_point = static_cast<UChar32>(kReplacement);
  }
  char reference[16];
  const int length = std::snprintf(reference, sizeof reference, "&#%d;", code_point);
  *error = U_ZERO_ERROR;
  ucnv_cbFromUWriteBytes(args, reference, length, 0, error);
}

// One converter per thread, opened on first use: ICU converters are not
// shareable between threads and opening one per file would cost more than the
// conversion of a small page.
UConverter* AnsiConverter() {
  struct Holder {
    UConverter* converter = nullptr;
    bool failed = false;
    ~Holder() {
      if (converter != nullptr) {
        ucnv_close(converter);
      }
    }
  };
  thread_local Holder holder;
  if (holder.converter == nullptr && !holder.failed) {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(kAnsiConverterName, &error);
    if (U_SUCCESS(error)) {
      ucnv_setFromUCallBack(converter, WriteCharacterReference, nullptr, nullptr, nullptr, &error);
    }
    if (U_FAILURE(error)) {
      if (converter != nullptr) {
        ucnv_close(converter);
      }
      holder.failed = true;
      return nullptr;
    }
    holder.converter = converter;
  }
  if (holder.converter != nullptr) {
    ucnv_reset(holder.converter);
  }
  return holder.converter;
}

// Code page 936 keeps ASCII as the same single bytes in both directions, and
// Word HTML is mostly markup, so only the stretches between ASCII runs go
// through ICU; the runs are copied as they stand. That spares a UTF-16 copy
// of the whole text, which for a large document was the biggest allocation of
// the conversion.

// Stretches handed to ICU at once are bounded, so its buffers stay small.
constexpr size_t kStretchUnits = 16 * 1024;

size_t AsciiRunEnd(std::string_view bytes, size_t pos) {
  while (pos < bytes.size() && static_cast<unsigned char>(bytes[pos]) < 0x80) {
    ++pos;
  }
  return pos;
}

// The end of the non-ASCII stretch that starts at `pos`, measured in whole
// code page 936 characters: a lead byte takes the byte after it along, even
// an ASCII one, so a stretch never ends between a lead byte and the trail
// byte ICU would pair it with. ICU resumes at the same ASCII byte after an
// invalid pair (the "81 3C" case), so both readings agree where a stretch ends.
size_t AnsiStretchEnd(std::string_view bytes, size_t pos) {
  const size_t limit = std::min(bytes.size(), pos + kStretchUnits);
  while (pos < limit) {
    const auto b = static_cast<unsigned char>(bytes[pos]);
    if (b < 0x80) {
      break;
    }
    pos += (b >= 0x81 && b <= 0xFE) ? 2 : 1;
  }
  return std::min(pos, bytes.size());
}

// Invalid and truncated sequences become U+FFFD through ICU's default
// callback, which keeps an ASCII byte that follows a bad lead byte.
std::string DecodeAnsi(std::string_view bytes) {
  UConverter* converter = AnsiConverter();
  if (converter == nullptr || bytes.empty()) {
    return {};
  }
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  // Every character of the code page is one BMP unit from one or two bytes,
  // and a substitution covers at least one byte; the loop below still copes
  // if that ever stops being true.
  std::u16string units;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t run_end = AsciiRunEnd(bytes, pos);
    out.append(bytes.substr(pos, run_end - pos));
    pos = run_end;
    if (pos == bytes.size()) {
      break;
    }
    const size_t stretch_end = AnsiStretchEnd(bytes, pos);
    units.resize(stretch_end - pos + 1);
    const char* source = bytes.data() + pos;
    const char* const source_end = bytes.data() + stretch_end;
    size_t written = 0;
    for (;;) {
      UChar* const target_begin = reinterpret_cast<UChar*>(units.data());
      UChar* target = target_begin + written;
      UErrorCode error = U_ZERO_ERROR;
      ucnv_toUnicode(converter, &target, target_begin + units.size(), &source, source_end, nullptr,
                     /*flush=*/true, &error);
      written = static_cast<size_t>(target - target_begin);
      if (error == U_BUFFER_OVERFLOW_ERROR) {
        units.resize(units.size() * 2);
        continue;
      }
      if (U_FAILURE(error)) {
        return {};
      }
      break;
    }
    ForEachCodePoint(
        written, [&](size_t i) -> char32_t { return units[i]; },
        [&](char32_t c) {
          char buffer[4];
          out.append(buffer, static_cast<size_t>(PutUtf8(buffer, c) - buffer));
        });
    pos = stretch_end;
  }
  return out;
}

// Encodes UTF-8 text to code page 936, handing the bytes to `sink` (a
// callable taking a std::string_view) in pieces of a bounded size, so that a
// large page needs no second copy of itself in memory.
template <typename Sink>
Status EncodeAnsiTo(std::string_view utf8, Sink&& sink) {
  UConverter* converter = AnsiConverter();
  if (converter == nullptr) {
    return Status::Error(StatusCode::kInternal, "the code page 936 converter is unavailable");
  }
  constexpr size_t kFlushBytes = 64 * 1024;
  std::string out;
  out.reserve(kFlushBytes + 4 * kStretchUnits + 16);
  std::u16string units;
  units.reserve(kStretchUnits + 2);
  const auto flush_if_full = [&]() -> bool {
    if (out.size() < kFlushBytes) {
      return true;
    }
    const bool ok = sink(std::string_view(out));
    out.clear();
    return ok;
  };
  const auto convert_units = [&]() -> Status {
    // Two bytes per unit covers all text the code page holds; references
    // for what it lacks grow the buffer as needed.
    const size_t start = out.size();
    out.resize(start + units.size() * 2 + 16);
    const UChar* source = reinterpret_cast<const UChar*>(units.data());
    const UChar* const source_end = source + units.size();
    size_t written = start;
    for (;;) {
      char* target = out.data() + written;
      UErrorCode error = U_ZERO_ERROR;
      ucnv_fromUnicode(converter, &target, out.data() + out.size(), &source, source_end, nullptr,
                       /*flush=*/true, &error);
      written = static_cast<size_t>(target - out.data());
      if (error == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(out.size() * 2);
        continue;
      }
      if (U_FAILURE(error)) {
        return Status::Error(StatusCode::kInvalidInput,
                             std::string("code page 936: ") + u_errorName(error));
      }
      break;
    }
    out.resize(written);
    units.clear();
    return Status::Ok();
  };
  Status sink_failed = Status::Error(StatusCode::kIoFailed, "");

  size_t pos = 0;
  while (pos < utf8.size()) {
    const size_t run_end = AsciiRunEnd(utf8, pos);
    // Long runs go to the sink in pieces too.
    while (pos < run_end) {
      const size_t piece = std::min(run_end - pos, kFlushBytes);
      out.append(utf8.substr(pos, piece));
      pos += piece;
      if (!flush_if_full()) {
        return sink_failed;
      }
    }
    // A multi-byte UTF-8 sequence never holds an ASCII byte, and an
    // ill-formed one stops before it, so every stretch starts and ends on
    // the boundaries a whole-text decoding would see.
    while (pos < utf8.size() && static_cast<unsigned char>(utf8[pos]) >= 0x80) {
      const char32_t decoded = NextUtf8(utf8, pos);
      const char32_t c = decoded == kIllFormed ? kReplacement : decoded;
      if (c < 0x10000) {
        units.push_back(static_cast<char16_t>(c));
      } else {
        units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
      }
      if (units.size() >= kStretchUnits) {
        if (Status s = convert_units(); !s.ok()) {
          return s;
        }
        if (!flush_if_full()) {
          return sink_failed;
        }
      }
    }
    if (!units.empty()) {
      if (Status s = convert_units(); !s.ok()) {
        return s;
      }
      if (!flush_if_full()) {
        return sink_failed;
      }
    }
  }
  if (!out.empty() && !sink(std::string_view(out))) {
    return sink_failed;
  }
  return Status::Ok();
}

Result<std::string> EncodeAnsi(std::string_view utf8) {
  std::string encoded;
  encoded.reserve(utf8.size());
  Status status = EncodeAnsiTo(utf8, [&](std::string_view piece) {
    encoded.append(piece);
    return true;
  });
  if (!status.ok()) {
    return status;
  }
  return encoded;
}

// ---------------------------------------------------------------------------
// Files.

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }
  // Closes now and reports the result: on some file systems a failed write
  // only shows at close.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Reads up to `size` bytes; fewer if the file shrank meanwhile. False on error.
bool ReadAll(int fd, std::string& buffer, size_t size) {
  buffer.resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer.data() + done, size - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return false;
    }
    if (n == 0) {
      break;
    }
    done += static_cast<size_t>(n);
  }
  buffer.resize(done);
  return true;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      if (n == 0) {
        errno = EIO;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

uint32_t FirstFourBytes(std::string_view bytes) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < bytes.size(); ++i) {
    value |= uint32_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  }
  return value;
}

std::string_view MarkBytes(const Bom& bom, char (&storage)[4]) {
  for (int i = 0; i < 4; ++i) {
    storage[i] = static_cast<char>((bom.bytes >> (8 * i)) & 0xFF);
  }
  return std::string_view(storage, static_cast<size_t>(bom.length));
}

struct Mark {
  uint32_t mask, value;
  TextEncoding encoding;
  int length;
};
// Order matters: FF FE 00 00 is UTF-32 LE, never UTF-16 LE.
constexpr Mark kMarks[] = {
    {0xFFFFFFFF, 0x0000FEFF, EncodingUtf32LE, 4}, {0xFFFFFFFF, 0xFFFE0000, EncodingUtf32BE, 4},
    {0x0000FFFF, 0x0000FEFF, EncodingUtf16LE, 2}, {0x0000FFFF, 0x0000FFFE, EncodingUtf16BE, 2},
    {0x00FFFFFF, 0x00BFBBEF, EncodingUtf8, 3},
};

Status WriteFailure(const std::string& path, const std::string& reason) {
  return Status::Error(StatusCode::kIoFailed, "cannot write " + path + ": " + reason);
}

}  // namespace

int DetectBom(uint32_t first_four_bytes, TextEncoding* encoding) {
  for (const Mark& mark : kMarks) {
    if ((first_four_bytes & mark.mask) == mark.value) {
      if (encoding != nullptr) {
        *encoding = mark.encoding;
      }
      return mark.length;
    }
  }
  if (encoding != nullptr) {
    *encoding = EncodingAnsi;
  }
  return 0;
}

Bom BomForEncoding(int32_t encoding) {
  switch (encoding) {
    case EncodingUtf8:
      return {0x00BFBBEF, 3};
    case EncodingUtf16LE:
      return {0x0000FEFF, 2};
    case EncodingUtf16BE:
      return {0x0000FFFE, 2};
    case EncodingUtf32LE:
      return {0x0000FEFF, 4};
    case EncodingUtf32BE:
      return {0xFFFE0000, 4};
    default:
      return {};
  }
}

bool IsValidUtf8(std::string_view text) {
  return ValidUtf8Prefix(text) == text.size();
}

Result<std::string> DecodeCharset(std::string_view bytes, std::string_view charset,
                                  size_t* replaced) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(std::string(charset).c_str(), &error);
  if (U_FAILURE(error)) {
    return Status::Error(StatusCode::kInvalidInput,
                         "unknown character set \"" + std::string(charset) + "\"");
  }
  struct Count {
    size_t replaced = 0;
  } count;
  // ICU's substitution, counted.
  const UConverterToUCallback counting = [](const void* context, UConverterToUnicodeArgs* args,
                                            const char* code_units, int32_t length,
                                            UConverterCallbackReason reason, UErrorCode* status) {
    if (reason <= UCNV_IRREGULAR) ++static_cast<Count*>(const_cast<void*>(context))->replaced;
    UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, code_units, length, reason, status);
  };
  ucnv_setToUCallBack(converter, counting, &count, nullptr, nullptr, &error);
  // Measured first, then converted at its final size.
  const auto length = static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX));
  const int32_t units_needed = ucnv_toUChars(converter, nullptr, 0, bytes.data(), length, &error);
  if (error == U_BUFFER_OVERFLOW_ERROR || error == U_STRING_NOT_TERMINATED_WARNING) {
    error = U_ZERO_ERROR;
  }
  std::u16string units(static_cast<size_t>(units_needed) + 1, u'\0');
  count.replaced = 0;
  ucnv_reset(converter);
  if (U_SUCCESS(error)) {
    ucnv_toUChars(converter, units.data(), static_cast<int32_t>(units.size()), bytes.data(), length,
                  &error);
  }
  ucnv_close(converter);
  if (U_FAILURE(error)) {
    return Status::Error(StatusCode::kInvalidInput,
                         "cannot decode \"" + std::string(charset) + "\": " + u_errorName(error));
  }
  std::string out = Utf16ToUtf8(static_cast<size_t>(units_needed),
                                [&](size_t i) -> char32_t { return units[i]; });
  if (replaced != nullptr) *replaced = count.replaced;
  return out;
}

std::string DecodeText(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case EncodingAnsi:
      return DecodeAnsi(bytes);
    case EncodingUtf8:
      return SanitizeUtf8(bytes);
    case EncodingUtf16LE:
      return DecodeUtf16(bytes, /*big_endian=*/false);
    case EncodingUtf16BE:
      return DecodeUtf16(bytes, /*big_endian=*/true);
    default:  // UTF-32 is recognised by its mark but never decoded
      return {};
  }
}

Result<std::string> EncodeText(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case EncodingAnsi:
      return EncodeAnsi(utf8);
    case EncodingUtf8:
      return SanitizeUtf8(utf8);
    case EncodingUtf16LE:
      return EncodeUtf16(utf8, /*big_endian=*/false);
    case EncodingUtf16BE:
      return EncodeUtf16(utf8, /*big_endian=*/true);
    case EncodingUtf32LE:
    case EncodingUtf32BE:
      return Status::Error(StatusCode::kInvalidInput, "UTF-32 text cannot be written");
    case EncodingDetect:
      return Status::Error(StatusCode::kInvalidInput, "no text encoding given");
  }
  return Status::Error(StatusCode::kInvalidInput,
                       "unknown text encoding " + std::to_string(static_cast<int32_t>(encoding)));
}

std::string ReadText(const std::string& path, int32_t* encoding) {
  if (encoding == nullptr || (*encoding != EncodingDetect && !IsValidEncoding(*encoding))) {
    return {};
  }
  // Non-blocking so that a named pipe given as input cannot hang the build;
  // it is refused below as every non-regular file is.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.Get() < 0) {
    return {};
  }
  struct stat info;
  if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return {};
  }
  if (info.st_size >= kMaxFileSize) {
    return {};
  }

  std::string bytes;
  if (!ReadAll(file.Get(), bytes, static_cast<size_t>(info.st_size))) {
    return {};
  }

  TextEncoding detected = EncodingAnsi;
  const int mark_length = DetectBom(FirstFourBytes(bytes), &detected);
  size_t skip = 0;
  if (*encoding == EncodingDetect) {
    *encoding = detected;
    skip = static_cast<size_t>(mark_length);
  } else if (*encoding == detected) {
    skip = static_cast<size_t>(mark_length);
  }
  // Missing bytes count as 0, so a two-byte file FF FE shows a four-byte mark.
  if (skip > bytes.size()) {
    skip = bytes.size();
  }
  return DecodeText(std::string_view(bytes).substr(skip), static_cast<TextEncoding>(*encoding));
}

namespace {

// WriteText up to its last step: a whole text (not `append`) is left complete
// in `replacement`, for the caller to commit.
// Encodes a non-empty text as a file in `encoding` holds it (the mark comes
// apart), handing the bytes to `sink` (a callable taking a std::string_view and
// returning false when it could not take them). Code page 936 goes in pieces,
// so that a large page is never held twice. Returns the encoding's failure;
// a sink's failure stops it and is the sink's to report.
template <typename Sink>
Status EncodeForFile(std::string_view text, int32_t encoding, Sink&& sink) {
  if (encoding == EncodingAnsi) return EncodeAnsiTo(text, sink);
  if (encoding == EncodingUtf8 && ValidUtf8Prefix(text) == text.size()) {
    sink(text);
    return Status::Ok();
  }
  Result<std::string> bytes = EncodeText(text, static_cast<TextEncoding>(encoding));
  if (!bytes.ok()) return bytes.status();
  sink(*bytes);
  return Status::Ok();
}

Status WriteTextUncommitted(const std::string& path, std::string_view text, bool append,
                            int32_t* encoding, int32_t default_encoding,
                            std::optional<ReplacementFile>& replacement) {
  if (encoding == nullptr) {
    return WriteFailure(path, "no text encoding given");
  }
  if (!IsValidEncoding(*encoding) && !(*encoding == EncodingDetect && append)) {
    return WriteFailure(path, *encoding == EncodingDetect
                                  ? "no text encoding given"
                                  : "unknown text encoding " + std::to_string(*encoding));
  }
  // A whole text goes to a new file that replaces the old one only once it
  // is complete, so a failure (a full disk) leaves the old file as it was.
  replacement.reset();
  if (!append) {
    replacement.emplace(path);
    if (replacement->fd() < 0) return WriteFailure(path, ErrnoText(errno));
  }
  FileDescriptor file(append ? ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)
                             : ::dup(replacement->fd()));
  if (file.Get() < 0) {
    return WriteFailure(path, ErrnoText(errno));
  }
  struct stat info;
  if (::fstat(file.Get(), &info) != 0) {
    return WriteFailure(path, ErrnoText(errno));
  }
  if (info.st_size == 0) {
    append = false;
    if (*encoding == EncodingDetect) {
      *encoding = default_encoding;
    }
  }

  Bom mark;
  if (*encoding == EncodingDetect && append) {
    // Appending to a file that exists: continue in the encoding its mark shows.
    unsigned char head[4] = {0, 0, 0, 0};
    ssize_t n = 0;
    do {
      n = ::pread(file.Get(), head, sizeof head, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      return WriteFailure(path, ErrnoText(errno));
    }
    TextEncoding detected = EncodingAnsi;
    DetectBom(FirstFourBytes(std::string_view(reinterpret_cast<const char*>(head), sizeof head)),
              &detected);
    *encoding = detected;
  } else if (!append) {
    mark = BomForEncoding(*encoding);
  }

  if (::lseek(file.Get(), 0, append ? SEEK_END : SEEK_SET) < 0) {
    return WriteFailure(path, ErrnoText(errno));
  }
  char mark_storage[4];
  if (!WriteAll(file.Get(), MarkBytes(mark, mark_storage))) {
    return WriteFailure(path, ErrnoText(errno));
  }

  Status result = Status::Ok();
  if (!text.empty()) {
    int write_error = 0;
    const Status encoded = EncodeForFile(text, *encoding, [&](std::string_view piece) {
      if (write_error == 0 && !WriteAll(file.Get(), piece)) write_error = errno;
      return write_error == 0;
    });
    if (write_error != 0) {
      return WriteFailure(path, ErrnoText(write_error));
    }
    if (!encoded.ok()) {
      // As when nothing could be encoded: the file keeps only what stood
      // before the text.
      const off_t keep = append ? info.st_size : static_cast<off_t>(mark.length);
      if (::ftruncate(file.Get(), keep) != 0) {
        return WriteFailure(path, ErrnoText(errno));
      }
      result = WriteFailure(path, encoded.message());
    }
  }
  if (file.Close() != 0) {
    return WriteFailure(path, ErrnoText(errno));
  }
  return result;
}

int32_t EncodingOfSetting(std::string_view file_encode, bool& known) {
  int32_t encoding = 0;
  const char* end = file_encode.data() + file_encode.size();
  const auto [stop, error] = std::from_chars(file_encode.data(), end, encoding);
  known = error == std::errc() && stop == end;
  return encoding;
}

}  // namespace

Status WriteText(const std::string& path, std::string_view text, bool append, int32_t* encoding,
                 int32_t default_encoding) {
  std::optional<ReplacementFile> replacement;
  Status written =
      WriteTextUncommitted(path, text, append, encoding, default_encoding, replacement);
  if (written.ok() && replacement) return replacement->Commit();
  return written;
}

std::string ReadTextFile(const std::string& path) {
  int32_t encoding = EncodingAnsi;
  return ReadText(path, &encoding);
}

Status WriteTextFile(const std::string& path, std::string_view text, std::string_view file_encode) {
  std::optional<ReplacementFile> replacement;
  Status written = WriteTextFileUncommitted(path, text, file_encode, replacement);
  if (!written) return written;
  return replacement->Commit();
}

Result<std::string> TextFileBytes(const std::string& path, std::string_view text,
                                  std::string_view file_encode) {
  bool known = false;
  const int32_t encoding = EncodingOfSetting(file_encode, known);
  if (!known) {
    return WriteFailure(path, "unknown file encoding \"" + std::string(file_encode) + "\"");
  }
  if (!IsValidEncoding(encoding)) {
    return WriteFailure(path, encoding == EncodingDetect
                                  ? "no text encoding given"
                                  : "unknown text encoding " + std::to_string(encoding));
  }
  char mark_storage[4];
  std::string bytes(MarkBytes(BomForEncoding(encoding), mark_storage));
  if (text.empty()) return bytes;
  bytes.reserve(bytes.size() + text.size());
  const Status encoded = EncodeForFile(text, encoding, [&](std::string_view piece) {
    bytes.append(piece);
    return true;
  });
  if (!encoded.ok()) return WriteFailure(path, encoded.message());
  return bytes;
}

Status WriteFileBytes(const std::string& path, std::string_view bytes) {
  ReplacementFile file(path);
  if (file.fd() < 0 || !file.Write(bytes)) return WriteFailure(path, ErrnoText(errno));
  return file.Commit();
}

Status WriteTextFileUncommitted(const std::string& path, std::string_view text,
                                std::string_view file_encode,
                                std::optional<ReplacementFile>& replacement) {
  replacement.reset();
  bool known = false;
  int32_t encoding = EncodingOfSetting(file_encode, known);
  if (!known) {
    return WriteFailure(path, "unknown file encoding \"" + std::string(file_encode) + "\"");
  }
  return WriteTextUncommitted(path, text, /*append=*/false, &encoding, EncodingAnsi, replacement);
}

}  // namespace tessarine::support
