// `tessarine batch [options] DOCUMENT...`: the batch window on the command
// line. Every document becomes one cleaned page in the output folder; the
// options are the window's settings with its start values.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "batch/batch_settings.h"

namespace tessarine::cli {

struct BatchRequest {
  batch::BatchSettings settings = batch::DefaultBatchSettings();
  unsigned jobs = 1;
  // This run converts only the shard's slice of the sorted list.
  std::optional<batch::Shard> shard;
  // A file (or "-", standard input) naming more documents, one a line or
  // NUL-separated.
  std::optional<std::string> files_from;
  bool null_separated = false;
};

// Sets one option ("--mode", "2") of the request; the error text for a value
// the option does not take. Unknown options are the caller's business.
std::optional<std::string> ApplyBatchOption(BatchRequest& request, std::string_view option,
                                            std::string_view value);

// Appends the documents the list file names (`--files-from`; "-" reads
// `standard_input`) to the request's documents; the message when the file
// cannot be read.
std::optional<std::string> ReadDocumentList(BatchRequest& request, std::istream& standard_input);

// Validates (the window's messages), runs with a progress bar, prints the
// result. Exit status: 0 converted, 1 refused, failed or stopped.
int RunBatchRequest(BatchRequest request, std::ostream& out, std::ostream& err);

}  // namespace tessarine::cli
