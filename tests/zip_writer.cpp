#include "zip_writer.h"

#include <gtest/gtest.h>
#include <zip.h>

namespace tessarine::testing {

std::string WriteZip(const std::string& path, const ZipEntries& entries, bool stored) {
  int error = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  EXPECT_NE(zip, nullptr) << path;
  if (zip == nullptr) return path;
  for (const auto& [entry, content] : entries) {
    zip_source_t* source = zip_source_buffer(zip, content.data(), content.size(), 0);
    const zip_int64_t index = zip_file_add(zip, entry.c_str(), source, ZIP_FL_ENC_UTF_8);
    EXPECT_GE(index, 0) << entry;
    if (stored && index >= 0) {
      zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
  }
  EXPECT_EQ(zip_close(zip), 0) << path;
  return path;
}

std::string Rel(const std::string& id, const std::string& type, const std::string& target,
                bool external) {
  return "<Relationship Id=\"" + id +
         "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + type +
         "\" Target=\"" + target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}

std::string Rels(const std::string& content) {
  return R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
         content + "</Relationships>";
}

}  // namespace tessarine::testing
