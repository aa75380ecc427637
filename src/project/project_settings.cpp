#include "project/project_settings.h"

#include "support/compiler.h"
#include "support/files.h"

namespace tessarine::project {

void ResetProjectSettings(ProjectSettings& settings) {
  ProjectSettings fresh;
  fresh.OutputDir = support::DefaultOutputFolder();
  fresh.ProjectModified = settings.ProjectModified;
  fresh.DocCounter = settings.DocCounter;
  settings = std::move(fresh);
}

ProjectSettings DefaultProjectSettings() {
  ProjectSettings settings;
  ResetProjectSettings(settings);
  return settings;
}

int AddDocumentRecord(ProjectSettings& settings, const std::string& path) {
  DocumentRecord record;
  record.Path = path;
  record.FileName = support::FileNameOfPath(path);
  ++settings.DocCounter;
  // A name without "." (the add dialog's filter never offers one) keeps its
  // whole name rather than becoming an empty menu entry.
  const size_t dot = record.FileName.rfind('.');
  record.NodeName = dot == std::string::npos ? record.FileName : record.FileName.substr(0, dot);
  TESSARINE_GCC_FALSE_RESTRICT_BEGIN
  record.NumberlistRule = "0";
  TESSARINE_GCC_FALSE_RESTRICT_END
  record.FilenamePre = "doc" + std::to_string(settings.DocCounter);
  settings.Documents.push_back(std::move(record));
  return static_cast<int>(settings.Documents.size());
}

}  // namespace tessarine::project
