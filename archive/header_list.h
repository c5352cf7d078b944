// Reading a whole header list, as extraction, listing and verification do.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/archive.h"

struct HeaderListEnd {
  // The list ended on a complete header of size 0.
  bool complete = false;
  // Where the header that ended the list begins.
  std::uint64_t lastHeaderOffset = 0;
  // Where the data block begins (meaningful when complete).
  std::uint64_t dataOffset = 0;
  // A read error (0 when the stream simply ended).
  int readError = 0;
  // Memory ran out while the list was read.
  bool outOfMemory = false;
  // The last header's name ran past kMaxEntryNameLength.
  bool nameTooLong = false;
};

// Reads headers until one has size 0, appending every record read to
// entries, the one that ended the list included (a cut-off one too).
HeaderListEnd ReadHeaderList(platform::ByteStream& stream, std::vector<std::unique_ptr<ArchiveEntry>>& entries);

// The message for a list that did not end on a complete header.
std::string DescribeDamage(const HeaderListEnd& end);
