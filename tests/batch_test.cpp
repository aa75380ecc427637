// Batch page names, shards and the checks before a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "batch/batch_settings.h"
#include "batch/run_batch.h"
#include "test_support.h"

namespace tessarine::batch {
namespace {

using testing::TempDir;

TEST(BatchPageName, ByDocumentNameOrZeroPaddedNumber) {
  EXPECT_EQ(BatchPageName("/docs/a.b.doc", FileNameRule::kDocumentName, 1, 1), "a.b");
  EXPECT_EQ(BatchPageName("/docs/report.docx", FileNameRule::kDocumentName, 1, 1), "report");
  EXPECT_EQ(BatchPageName("/docs/x.docx", FileNameRule::kNumber, 3, 7), "3");
  EXPECT_EQ(BatchPageName("/docs/x.docx", FileNameRule::kNumber, 3, 12), "03");
  EXPECT_EQ(BatchPageName("/docs/x.docx", FileNameRule::kNumber, 12, 12), "12");
  EXPECT_EQ(BatchPageName("/docs/x.docx", FileNameRule::kNumber, 3, 150), "003");
  EXPECT_EQ(BatchPageName("/docs/x.docx", FileNameRule::kNumber, 9, 9), "9");
}

// Every split of lists of 0 to 40 documents into 1 to 12 shards: the slices,
// in shard order, are the sorted list exactly once, their lengths differ by
// one at most, and each knows where it starts in the whole list.
TEST(TakeShard, SlicesCoverTheSortedListExactlyOnce) {
  for (size_t count = 0; count <= 40; ++count) {
    std::vector<std::string> list;
    for (size_t i = 0; i < count; ++i) list.push_back("/d/" + std::to_string((i * 7919) % 1000));
    std::vector<std::string> sorted = list;
    std::sort(sorted.begin(), sorted.end());
    for (size_t shards = 1; shards <= 12; ++shards) {
      std::vector<std::string> joined;
      size_t shortest = count, longest = 0;
      for (size_t k = 1; k <= shards; ++k) {
        std::vector<std::string> slice = list;
        const ListSlice place = TakeShard(slice, Shard{k, shards});
        EXPECT_EQ(place.total, count);
        EXPECT_EQ(place.first, joined.size() + 1) << count << " " << k << "/" << shards;
        shortest = std::min(shortest, slice.size());
        longest = std::max(longest, slice.size());
        joined.insert(joined.end(), slice.begin(), slice.end());
      }
      EXPECT_EQ(joined, sorted) << count << " in " << shards;
      EXPECT_LE(longest - std::min(shortest, longest), 1u) << count << " in " << shards;
    }
  }
}

TEST(ParseShard, TakesKOfNAndNothingElse) {
  ASSERT_TRUE(ParseShard("1/1"));
  EXPECT_EQ(ParseShard("3/5")->index, 3u);
  EXPECT_EQ(ParseShard("3/5")->count, 5u);
  EXPECT_EQ(ParseShard("1000000/1000000")->index, 1000000u);
  for (const char* bad : {"", "/", "1", "0/3", "4/3", "1/0", "-1/3", "1/3/", " 1/3", "1/3 ", "a/b",
                          "1/1000001", "99999999999999999999999/1"}) {
    EXPECT_FALSE(ParseShard(bad)) << bad;
  }
}

TEST(ValidateBatch, ChecksFolderExtensionAndListInOrder) {
  TempDir out;
  BatchSettings settings;
  settings.OutputDir = "  " + out.path().string() + "  ";
  settings.FileExt = " .htm ";
  auto failure = ValidateBatch(settings);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, project::kNoDocuments);
  // The two values checked before the list are stored corrected.
  EXPECT_EQ(settings.OutputDir, out.path().string() + "/");
  EXPECT_EQ(settings.FileExt, ".htm");

  settings.Documents = {"a.docx"};
  EXPECT_FALSE(ValidateBatch(settings));

  for (const char* ext : {"htm", ".h tm", ".ht-m", ".", ""}) {
    BatchSettings bad = settings;
    bad.FileExt = ext;
    failure = ValidateBatch(bad);
    ASSERT_TRUE(failure) << ext;
    EXPECT_EQ(failure->message, project::kInvalidFileExt);
    EXPECT_EQ(failure->focus, project::FocusControl::kTxtFileExt);
  }
  for (std::string folder : {std::string(), out.path().string() + "/missing", std::string("  ")}) {
    BatchSettings bad = settings;
    bad.OutputDir = folder;
    failure = ValidateBatch(bad);
    ASSERT_TRUE(failure) << folder;
    EXPECT_EQ(failure->message, project::kInvalidOutputDir);
    EXPECT_EQ(failure->focus, project::FocusControl::kTxtOutputDir);
  }
  BatchSettings backslashes = settings;
  backslashes.OutputDir = out.path().string();
  std::replace(backslashes.OutputDir.begin(), backslashes.OutputDir.end(), '/', '\\');
  EXPECT_FALSE(ValidateBatch(backslashes));
  EXPECT_EQ(backslashes.OutputDir, out.path().string() + "/");
}

}  // namespace
}  // namespace tessarine::batch
