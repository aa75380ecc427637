#include "support/text_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace tessarine::support {
namespace {

using testing::ReadBytes;
using testing::SharedDir;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

uint32_t LittleEndian(std::string_view four) {
  uint32_t value = 0;
  for (size_t i = 0; i < four.size(); ++i) {
    value |= uint32_t{static_cast<unsigned char>(four[i])} << (8 * i);
  }
  return value;
}

TEST(DetectBom, RecognisesEveryMarkInOrder) {
  struct Case {
    std::string bytes;
    TextEncoding encoding;
    int length;
  };
  const Case cases[] = {
      {std::string("\xFF\xFE\x00\x00", 4), EncodingUtf32LE, 4},  // before UTF-16 LE
      {std::string("\x00\x00\xFE\xFF", 4), EncodingUtf32BE, 4},
      {std::string("\xFF\xFE\x41\x00", 4), EncodingUtf16LE, 2},
      {std::string("\xFE\xFF\x00\x41", 4), EncodingUtf16BE, 2},
      {"\xEF\xBB\xBF<", EncodingUtf8, 3},
      {"<htm", EncodingAnsi, 0},
      {std::string("\xEF\xBB\x00\x00", 4), EncodingAnsi, 0},
      {std::string(4, '\0'), EncodingAnsi, 0},
  };
  for (const Case& c : cases) {
    TextEncoding encoding = EncodingDetect;
    EXPECT_EQ(DetectBom(LittleEndian(c.bytes), &encoding), c.length) << c.encoding;
    EXPECT_EQ(encoding, c.encoding);
  }
}

TEST(BomForEncoding, GivesTheMarkOfEachEncoding) {
  struct Case {
    int32_t encoding;
    std::string bytes;
  };
  const Case cases[] = {
      {EncodingDetect, ""},
      {EncodingAnsi, ""},
      {EncodingUtf8, "\xEF\xBB\xBF"},
      {EncodingUtf16LE, "\xFF\xFE"},
      {EncodingUtf16BE, "\xFE\xFF"},
      {EncodingUtf32LE, std::string("\xFF\xFE\x00\x00", 4)},
      {EncodingUtf32BE, std::string("\x00\x00\xFE\xFF", 4)},
      {6, ""},
  };
  for (const Case& c : cases) {
    const Bom bom = BomForEncoding(c.encoding);
    EXPECT_EQ(bom.length, static_cast<int>(c.bytes.size())) << c.encoding;
    EXPECT_EQ(bom.bytes, LittleEndian(c.bytes)) << c.encoding;
    // The mark written, followed by text, must be the one the reader sees.
    if (bom.length > 0) {
      const std::string start = (c.bytes + "text").substr(0, 4);
      TextEncoding detected = EncodingDetect;
      EXPECT_EQ(DetectBom(LittleEndian(start), &detected), bom.length);
      EXPECT_EQ(detected, c.encoding);
    }
  }
}

struct DecodeCase {
  const char* what;
  std::string bytes;
  TextEncoding encoding;
  std::string text;
};

TEST(DecodeText, FollowsTheWindowsTableAndReplacesWhatIsInvalid) {
  const DecodeCase cases[] = {
      {"Chinese", "\xD6\xD0\xCE\xC4", EncodingAnsi, "中文"},
      {"0x80 is the euro sign", "\x80", EncodingAnsi, "\u20AC"},
      {"0xFF is mapped", "\xFF", EncodingAnsi, "\uF8F5"},
      {"user-defined cell", "\xAA\xA1", EncodingAnsi, "\uE000"},
      {"bad lead byte keeps the ASCII after it", "\x81\x3C\x70\x3E", EncodingAnsi,
       std::string(kReplacement) + "<p>"},
      {"truncated last character", "\x41\xB0", EncodingAnsi, "A\uFFFD"},
      {"NUL survives", std::string("a\0b", 3), EncodingAnsi, std::string("a\0b", 3)},
      {"empty", "", EncodingAnsi, ""},
      {"valid UTF-8 as it is", "a\xF0\x9F\x98\x80\xEF\xBF\xBD", EncodingUtf8, "a\U0001F600\uFFFD"},
      {"stray byte",
       "a\xFF"
       "b",
       EncodingUtf8, "a\uFFFDb"},
      {"truncated at the end", "a\xE4\xB8", EncodingUtf8, "a\uFFFD"},
      {"truncated before ASCII", "\xE4\xB8<", EncodingUtf8, "\uFFFD<"},
      {"encoded surrogate", "\xED\xA0\x80", EncodingUtf8, "\uFFFD\uFFFD\uFFFD"},
      {"overlong", "\xC0\xAF", EncodingUtf8, "\uFFFD\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", EncodingUtf8, "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"UTF-16 LE", std::string("A\0\x2D\x4E", 4), EncodingUtf16LE, "A中"},
      {"UTF-16 LE pair", std::string("\x3D\xD8\x00\xDE", 4), EncodingUtf16LE, "\U0001F600"},
      {"UTF-16 LE lone high surrogate",
       std::string("\x3D\xD8"
                   "A\0",
                   4),
       EncodingUtf16LE, "\uFFFDA"},
      {"UTF-16 LE lone low surrogate at the end", std::string("A\0\x00\xDE", 4), EncodingUtf16LE,
       "A\uFFFD"},
      {"UTF-16 LE odd last byte", std::string("A\0B", 3), EncodingUtf16LE, "AB"},
      {"UTF-16 BE", std::string("\0A\x4E\x2D", 4), EncodingUtf16BE, "A中"},
      {"UTF-16 BE pair", std::string("\xD8\x3D\xDE\x00", 4), EncodingUtf16BE, "\U0001F600"},
      {"UTF-16 BE odd last byte", std::string("\0AB", 3), EncodingUtf16BE, "AB"},
      {"UTF-32 is not decoded", std::string("A\0\0\0", 4), EncodingUtf32LE, ""},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(DecodeText(c.bytes, c.encoding), c.text) << c.what;
  }
}

struct EncodeCase {
  const char* what;
  std::string text;
  TextEncoding encoding;
  std::string bytes;
};

TEST(EncodeText, WritesWhatTheCodePageLacksAsReferences) {
  const EncodeCase cases[] = {
      {"Chinese", "中文", EncodingAnsi, "\xD6\xD0\xCE\xC4"},
      {"edge cells round trip", "\u20AC\uF8F5\uE000", EncodingAnsi, "\x80\xFF\xAA\xA1"},
      // ICU's own callbacks would drop a soft hyphen without a trace.
      {"soft hyphen", "a\u00ADb", EncodingAnsi, "a&#173;b"},
      {"outside the BMP: one reference", "\U0001F600", EncodingAnsi, "&#128512;"},
      {"Korean", "\uAC00", EncodingAnsi, "&#44032;"},
      {"Arabic", "\u0628", EncodingAnsi, "&#1576;"},
      {"invalid input", "a\xFF", EncodingAnsi, "a&#65533;"},
      {"UTF-8 keeps valid text", "a\U0001F600", EncodingUtf8, "a\U0001F600"},
      {"UTF-8 repairs invalid input", "a\xC3", EncodingUtf8, "a\uFFFD"},
      {"UTF-16 LE", "A中\U0001F600", EncodingUtf16LE,
       std::string("A\0\x2D\x4E\x3D\xD8\x00\xDE", 8)},
      {"UTF-16 BE", "A中\U0001F600", EncodingUtf16BE,
       std::string("\0A\x4E\x2D\xD8\x3D\xDE\x00", 8)},
  };
  for (const EncodeCase& c : cases) {
    const Result<std::string> bytes = EncodeText(c.text, c.encoding);
    ASSERT_TRUE(bytes.ok()) << c.what << ": " << bytes.message();
    EXPECT_EQ(*bytes, c.bytes) << c.what;
  }
}

TEST(EncodeText, GrowsTheBufferForManyReferences) {
  std::string text;
  for (int i = 0; i < 5000; ++i) {
    text += "\U0001F600中";
  }
  const Result<std::string> bytes = EncodeText(text, EncodingAnsi);
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(bytes->size(), 5000u * (9 + 2));
  EXPECT_EQ(bytes->substr(0, 11), "&#128512;\xD6\xD0");
}

TEST(TextRoundTrip, EveryWritableEncodingGivesTheTextBack) {
  // Large enough that conversion happens in whole buffers of real size.
  std::string chinese;
  for (int i = 0; i < 20000; ++i) {
    chinese += "<p>中文段落 ABC €</p>\r\n";
  }
  const std::string with_emoji = chinese + "\U0001F600";
  for (TextEncoding encoding : {EncodingAnsi, EncodingUtf8, EncodingUtf16LE, EncodingUtf16BE}) {
    const std::string& text = encoding == EncodingAnsi ? chinese : with_emoji;
    const Result<std::string> bytes = EncodeText(text, encoding);
    ASSERT_TRUE(bytes.ok()) << encoding;
    EXPECT_EQ(DecodeText(*bytes, encoding), text) << encoding;
  }
}

// ASCII is copied and only the stretches between ASCII runs go through the
// converter, in bounded pieces; these texts put every kind of boundary (a
// stretch longer than a piece, a lead byte at a piece's end, a bad lead byte
// before ASCII, runs longer than a write) where a piece would cut it.
TEST(AnsiPieces, BoundariesBetweenPiecesChangeNothing) {
  const std::string zhong = "\xD6\xD0";  // 中
  struct Case {
    const char* what;
    std::string bytes;
    std::string text;
  };
  std::vector<Case> cases;
  for (size_t count : {8191u, 8192u, 8193u, 40000u}) {
    std::string bytes, text;
    for (size_t i = 0; i < count; ++i) {
      bytes += zhong;
      text += "中";
    }
    cases.push_back({"long stretch", bytes + "<p>", text + "<p>"});
    cases.push_back({"odd start", "A\x80" + bytes + "\x81", "A\u20AC" + text + "\uFFFD"});
    cases.push_back({"bad lead before ASCII", bytes + "\x81<p>", text + "\uFFFD<p>"});
    cases.push_back({"trail byte in ASCII range", bytes + "\x81\x40", text + "\u4E02"});
  }
  cases.push_back({"long ASCII run", std::string(200000, 'a') + zhong + std::string(70000, 'b'),
                   std::string(200000, 'a') + "中" + std::string(70000, 'b')});
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeText(c.bytes, EncodingAnsi), c.text) << c.what << " " << c.bytes.size();
    if (c.text.find("\uFFFD") != std::string::npos) continue;  // not reversible
    const Result<std::string> encoded = EncodeText(c.text, EncodingAnsi);
    ASSERT_TRUE(encoded.ok()) << c.what;
    EXPECT_EQ(*encoded, c.bytes) << c.what << " " << c.bytes.size();
  }
}

TEST(AnsiPieces, ReferencesAndInvalidInputAtPieceBoundaries) {
  std::string text, bytes;
  for (int i = 0; i < 30000; ++i) {
    text += i % 7 == 0 ? "\u00AD" : "中";
    bytes += i % 7 == 0 ? "&#173;" : "\xD6\xD0";
  }
  // A truncated sequence just before ASCII, then one at the very end.
  text += "\xE4\xB8<b>\xE4";
  bytes += "&#65533;<b>&#65533;";
  const Result<std::string> encoded = EncodeText(text, EncodingAnsi);
  ASSERT_TRUE(encoded.ok());
  EXPECT_EQ(*encoded, bytes);
}

// ---------------------------------------------------------------------------
// Files

class TextFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return temp_.File(name); }
  TempDir temp_;
};

TEST_F(TextFileTest, ReadTextFileDecodesAUtf8MarkAsAnsi) {
  const std::string path = Path("bom.htm");
  WriteBytes(path, "\xEF\xBB\xBF\xE4\xB8\xAD");  // mark + UTF-8 "中"
  const std::string text = ReadTextFile(path);
  EXPECT_EQ(text, DecodeText("\xEF\xBB\xBF\xE4\xB8\xAD", EncodingAnsi));
  EXPECT_EQ(text.substr(0, 3), "\u9518");  // EF BB in code page 936
}

TEST_F(TextFileTest, ReadTextResolvesOrKeepsTheMark) {
  struct Case {
    const char* what;
    std::string bytes;
    int32_t requested;
    std::string text;
    int32_t reported;
  };
  const Case cases[] = {
      {"detect UTF-8", "\xEF\xBB\xBF\xE4\xB8\xAD", EncodingDetect, "中", EncodingUtf8},
      {"detect no mark is ANSI", "\xD6\xD0", EncodingDetect, "中", EncodingAnsi},
      {"UTF-8 requested, own mark skipped",
       "\xEF\xBB\xBF"
       "A",
       EncodingUtf8, "A", EncodingUtf8},
      {"UTF-8 without a mark", "\xE4\xB8\xAD", EncodingUtf8, "中", EncodingUtf8},
      {"another encoding's mark is content",
       "\xEF\xBB\xBF"
       "A",
       EncodingUtf16LE, "\uBBEF\u41BF", EncodingUtf16LE},
      {"detect UTF-16 LE",
       std::string("\xFF\xFE"
                   "A\0",
                   4),
       EncodingDetect, "A", EncodingUtf16LE},
      {"detect UTF-32 gives no text", std::string("\xFF\xFE\0\0A\0\0\0", 8), EncodingDetect, "",
       EncodingUtf32LE},
      {"empty file", "", EncodingDetect, "", EncodingAnsi},
      {"invalid encoding value", "A", 6, "", 6},
  };
  for (const Case& c : cases) {
    const std::string path = Path("in.txt");
    WriteBytes(path, c.bytes);
    int32_t encoding = c.requested;
    EXPECT_EQ(ReadText(path, &encoding), c.text) << c.what;
    EXPECT_EQ(encoding, c.reported) << c.what;
  }
}

TEST_F(TextFileTest, ReadTextGivesEmptyTextForWhatCannotBeRead) {
  int32_t encoding = EncodingDetect;
  EXPECT_EQ(ReadText(Path("missing.htm"), &encoding), "");
  EXPECT_EQ(ReadText(temp_.path().string(), &encoding), "");
  EXPECT_EQ(encoding, EncodingDetect);
}

TEST_F(TextFileTest, RefusesFilesOfTwoGibibytesWithoutReadingThem) {
  const std::string path = Path("huge.htm");
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "<html>", 6), 6);
  const bool sized = ::ftruncate(fd, off_t{1} << 31) == 0;  // sparse: nothing is stored
  ::close(fd);
  if (!sized) {
    GTEST_SKIP() << "the file system cannot hold a 2 GiB file";
  }
  int32_t encoding = EncodingDetect;
  EXPECT_EQ(ReadText(path, &encoding), "");
  EXPECT_EQ(encoding, EncodingDetect);
}

TEST_F(TextFileTest, WriteTextFileWritesTheFileEncodeEncoding) {
  struct Case {
    std::string text;
    const char* file_encode;
    std::string bytes;
  };
  const Case cases[] = {
      {"", "1", "\xEF\xBB\xBF"},
      {"", "0", ""},
      {"中文", "1", "\xEF\xBB\xBF\xE4\xB8\xAD\xE6\x96\x87"},
      {"中文\u00AD\U0001F600", "0", "\xD6\xD0\xCE\xC4&#173;&#128512;"},
  };
  for (const Case& c : cases) {
    const std::string path = Path("out.htm");
    WriteBytes(path, "older and longer content");  // always replaced
    const Status written = WriteTextFile(path, c.text, c.file_encode);
    ASSERT_TRUE(written.ok()) << written.message();
    EXPECT_EQ(ReadBytes(path), c.bytes) << c.file_encode << " " << c.text;
  }
}

TEST_F(TextFileTest, LargePagesAreWrittenWholeInEitherEncoding) {
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "<p>第" + std::to_string(i) + "段 \u00AD€</p>\r\n";
  for (const char* file_encode : {"0", "1"}) {
    const std::string path = Path("large.htm");
    ASSERT_TRUE(WriteTextFile(path, text, file_encode).ok()) << file_encode;
    const TextEncoding encoding = file_encode[0] == '0' ? EncodingAnsi : EncodingUtf8;
    const Result<std::string> expected = EncodeText(text, encoding);
    ASSERT_TRUE(expected.ok());
    const std::string mark = encoding == EncodingUtf8 ? "\xEF\xBB\xBF" : "";
    EXPECT_EQ(ReadBytes(path), mark + *expected) << file_encode;
  }
}

// Pages made on several threads are written as bytes on one: the bytes and
// the failures must be those of writing the text itself.
TEST_F(TextFileTest, FileBytesAreWhatWriteTextFileWrites) {
  const std::string texts[] = {"", "中文\u00AD\U0001F600 €", "bad \xFF\xC3 utf-8", "<p>plain</p>"};
  for (const std::string& text : texts) {
    for (const char* file_encode : {"0", "1", "2", "utf8"}) {
      const std::string written_path = Path("written.htm");
      const std::string bytes_path = Path("bytes.htm");
      const Status written = WriteTextFile(written_path, text, file_encode);
      const Result<std::string> bytes = TextFileBytes(written_path, text, file_encode);
      ASSERT_EQ(bytes.ok(), written.ok()) << file_encode << " " << text;
      if (!written.ok()) {
        EXPECT_EQ(bytes.message(), written.message());
        continue;
      }
      EXPECT_EQ(*bytes, ReadBytes(written_path)) << file_encode << " " << text;
      ASSERT_TRUE(WriteFileBytes(bytes_path, *bytes).ok());
      EXPECT_EQ(ReadBytes(bytes_path), *bytes);
    }
  }
  if (::access("/dev/full", W_OK) == 0) {
    const Status full = WriteFileBytes("/dev/full", "text");
    ASSERT_FALSE(full.ok());
    EXPECT_NE(full.message().find("No space left on device"), std::string::npos) << full.message();
  }
}

TEST_F(TextFileTest, ChineseTextRoundTripsThroughAnsi) {
  const std::string text = "<p>生成出错，原因：用户中断 €</p>\r\n";
  const std::string path = Path("page.htm");
  ASSERT_TRUE(WriteTextFile(path, text, "0").ok());
  EXPECT_EQ(ReadTextFile(path), text);
}

TEST_F(TextFileTest, Utf16BigEndianWritesItsMarkAndReadsBack) {
  const std::string path = Path("be.txt");
  int32_t encoding = EncodingUtf16BE;
  ASSERT_TRUE(WriteText(path, "AB", false, &encoding, EncodingAnsi).ok());
  EXPECT_EQ(ReadBytes(path), std::string("\xFE\xFF\0A\0B", 6));
  encoding = EncodingDetect;
  EXPECT_EQ(ReadText(path, &encoding), "AB");
  EXPECT_EQ(encoding, EncodingUtf16BE);
}

TEST_F(TextFileTest, AppendContinuesInTheEncodingOfTheMark) {
  const std::string path = Path("log.txt");
  WriteBytes(path, std::string("\xFF\xFE"
                               "A\0",
                               4));
  int32_t encoding = EncodingDetect;
  ASSERT_TRUE(WriteText(path, "B中", true, &encoding, EncodingUtf8).ok());
  EXPECT_EQ(encoding, EncodingUtf16LE);
  EXPECT_EQ(ReadBytes(path), std::string("\xFF\xFE"
                                         "A\0B\0\x2D\x4E",
                                         8));

  // A given encoding appends without a mark.
  encoding = EncodingUtf8;
  WriteBytes(path, "x");
  ASSERT_TRUE(WriteText(path, "y", true, &encoding, EncodingAnsi).ok());
  EXPECT_EQ(ReadBytes(path), "xy");
}

TEST_F(TextFileTest, AppendToANewFileStartsItInTheDefaultEncoding) {
  const std::string path = Path("new.txt");
  int32_t encoding = EncodingDetect;
  ASSERT_TRUE(WriteText(path, "A", true, &encoding, EncodingUtf8).ok());
  EXPECT_EQ(encoding, EncodingUtf8);
  EXPECT_EQ(ReadBytes(path),
            "\xEF\xBB\xBF"
            "A");

  // No default either: there is no encoding to write in.
  const std::string other = Path("other.txt");
  encoding = EncodingDetect;
  EXPECT_FALSE(WriteText(other, "A", true, &encoding, EncodingDetect).ok());
}

TEST_F(TextFileTest, RefusedWritesLeaveTheFileAsItWas) {
  const std::string path = Path("keep.txt");
  WriteBytes(path, "keep");
  for (int32_t encoding : {int32_t{EncodingDetect}, int32_t{9}}) {
    const Status written = WriteText(path, "new", false, &encoding, EncodingAnsi);
    EXPECT_FALSE(written.ok());
    EXPECT_NE(written.message().find(path), std::string::npos) << written.message();
  }
  EXPECT_EQ(ReadBytes(path), "keep");
}

TEST_F(TextFileTest, Utf32CannotBeWritten) {
  int32_t encoding = EncodingUtf32LE;
  const Status written = WriteText(Path("u32.txt"), "A", false, &encoding, EncodingAnsi);
  EXPECT_FALSE(written.ok());
  EXPECT_NE(written.message().find("u32.txt"), std::string::npos) << written.message();
}

TEST_F(TextFileTest, WriteFailuresNameThePathAndTheReason) {
  std::vector<std::pair<std::string, std::string>> failures = {
      {Path("missing/page.htm"), "No such file or directory"},
      {Path("plain.txt") + "/page.htm", "Not a directory"},  // fails even for root
      {temp_.path().string(), "Is a directory"},
  };
  WriteBytes(Path("plain.txt"), "");
  // Root writes into read-only folders, so the case only means something
  // for an ordinary user.
  if (::geteuid() != 0) {
    const std::string locked = Path("locked");
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(
        locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    failures.emplace_back(locked + "/page.htm", "Permission denied");
  }
  for (const auto& [path, reason] : failures) {
    const Status written = WriteTextFile(path, "text", "0");
    ASSERT_FALSE(written.ok()) << path;
    EXPECT_NE(written.message().find(path), std::string::npos) << written.message();
    EXPECT_NE(written.message().find(reason), std::string::npos) << written.message();
  }
}

TEST_F(TextFileTest, AFailedWriteIsNotReportedAsSuccess) {
  if (::access("/dev/full", W_OK) != 0) {
    GTEST_SKIP() << "no /dev/full";
  }
  const Status written = WriteTextFile("/dev/full", "text", "1");
  ASSERT_FALSE(written.ok());
  EXPECT_NE(written.message().find("No space left on device"), std::string::npos)
      << written.message();
}

TEST_F(TextFileTest, UnknownFileEncodingIsAnError) {
  const Status written = WriteTextFile(Path("x.htm"), "text", "utf8");
  EXPECT_FALSE(written.ok());
  EXPECT_FALSE(std::filesystem::exists(Path("x.htm")));
}

// ---------------------------------------------------------------------------
// Word's own HTML

TEST(WordHtml, Gb2312PageRoundTripsByteForByte) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const auto path = SharedDir() / "wordhtml-samples/cn-lingfangzeng-gb2312/publication.htm";
  const std::string bytes = ReadBytes(path);
  const std::string text = ReadTextFile(path.string());
  EXPECT_EQ(text.find(kReplacement), std::string::npos);
  EXPECT_NE(text.find("charset=gb2312"), std::string::npos);
  const Result<std::string> encoded = EncodeText(text, EncodingAnsi);
  ASSERT_TRUE(encoded.ok());
  EXPECT_TRUE(*encoded == bytes);  // not EXPECT_EQ: a diff of 136 kB helps nobody
}

TEST(WordHtml, UnicodePageIsUtf16WithItsMark) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const auto path = SharedDir() / "wordhtml-samples/cn-softwaretesting-utf16/index.htm";
  int32_t encoding = EncodingDetect;
  const std::string text = ReadText(path.string(), &encoding);
  EXPECT_EQ(encoding, EncodingUtf16LE);
  EXPECT_EQ(text.substr(0, 5), "<html");
  const Result<std::string> encoded = EncodeText(text, EncodingUtf16LE);
  ASSERT_TRUE(encoded.ok());
  EXPECT_TRUE("\xFF\xFE" + *encoded == ReadBytes(path));
}

}  // namespace
}  // namespace tessarine::support
