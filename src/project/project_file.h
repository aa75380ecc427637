// Project files ("*.tsn").
//
// A project file is UTF-8 JSON:
//   {
//     "format": "tessarine-project",
//     "version": 1,
//     "settings": { "OutputDir": "...", ... every setting by name },
//     "documents": [ { "Path": "...", ... all 36 record fields by name } ],
//     "DocCounter": 3
//   }
// Every setting and record field is required and must be a string;
// DocCounter is required and must be a whole number from 0. Keys this version
// does not know are ignored, so a later version can add keys without breaking
// older programs; a change older programs must not ignore raises "version",
// and a file with a higher version is refused.
//
// Document paths: on saving, a document inside the project file's folder (or
// below it) is stored relative to that folder, any other one as it stands;
// on loading, a relative path is resolved against the project file's folder.
// A project folder can therefore be moved together with its documents.
#pragma once

#include <string>

#include "project/project_settings.h"
#include "support/status.h"

namespace tessarine::project {

inline constexpr int kProjectFileVersion = 1;

// Reads the project file at `path` into `settings`. On success every setting
// and the Document list are replaced, ProjectFile becomes the file's absolute
// path, ProjectModified false, and DocCounter is raised to the file's counter
// when that is higher. On failure (unreadable, not JSON, not a project file, a
// newer version, a missing or mistyped entry) `settings` is left untouched and
// the message names the file and the problem.
support::Status LoadProject(const std::string& path, ProjectSettings& settings);

// Writes `settings` to `path`. The text goes to a temporary file in the same
// folder which is flushed to disk and then renamed over `path`, so the old
// file stays whole until the new one is complete. On success ProjectFile
// becomes the file's absolute path and ProjectModified false; on failure
// `settings` and any old file are unchanged and the message names the file
// and the reason.
support::Status SaveProject(const std::string& path, ProjectSettings& settings);

}  // namespace tessarine::project
