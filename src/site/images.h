// Image stage: copies the pictures that a document's finished pages still
// use from the companion folder of its Word HTML (<scratch>/<prefix>.files/)
// into its resource folder in the output (<output>/<prefix>.files/). Page
// sources keep the form "<prefix>.files/NAME", so they need no rewriting.
#pragma once

#include <string>
#include <string_view>

#include "support/status.h"

namespace tessarine::site {

// `all_bodies` is every finished page body of the document joined in row
// order; every src attribute that runs through "<prefix>.files/" names a file
// to copy, each name once. Folders end with "/". A picture missing from the
// companion folder is passed over; a failing pattern fails the stage.
support::Status CopyPageImages(std::string_view all_bodies, const std::string& scratch_folder,
                               const std::string& output_dir, std::string_view prefix);

}  // namespace tessarine::site
