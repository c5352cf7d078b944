// The listing as one JSON document, for scripts.
#pragma once

#include <iosfwd>
#include <string>

#include "archive/listing.h"

// Writes the document for the archive named archivePath:
//   {"archive": ..., "entries": [{"name", "path", "size", "header_offset",
//    "data_offset"}, ...], "summary": {"entries", "bytes", "complete",
//    "terminator", "trailer"}}
// A name that is not valid UTF-8 is written with each bad byte as U+FFFD,
// and the exact bytes follow in "name_hex" (lowercase hex), so nothing is
// lost; "archive_hex" does the same for the archive's name. Offsets of data
// are null when the header list is damaged, since the data block's place is
// unknown then.
void PrintListingJson(const std::string& archivePath, const ArchiveListing& listing, std::ostream& out);
