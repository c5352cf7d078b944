// An archive's table of contents with every position in the file, and one
// entry's bytes read out on their own: what scripts ask of an archive
// without extracting it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

struct ListedEntry {
  std::string name;  // as stored
  std::uint32_t size = 0;
  std::uint64_t headerOffset = 0;  // where the entry's header begins
  std::uint64_t dataOffset = 0;    // where its bytes begin in the data block
};

struct ArchiveListing {
  // The archive could be opened (the rest is meaningless otherwise).
  bool opened = false;
  // The entries with data, in header order (the header that ended the list
  // is not among them).
  std::vector<ListedEntry> entries;
  std::uint64_t bytes = 0;  // the sum of the entries' sizes
  std::uint64_t dataBlock = 0;  // where the data block begins
  // The list ended on a complete header of size 0: nothing is cut off.
  bool complete = false;
  // That header is the terminator (it has no name), as every list this tool
  // writes ends.
  bool terminator = false;
  // The signature stands right behind the data block.
  bool trailer = false;
};

// Reads the header list and looks for the signature behind the data block.
// Returns 1, or 0 with an error logged when the archive cannot be opened or
// its header list is damaged; listing then holds the entries read before
// the damage.
int ReadListing(const char* archivePath, ArchiveListing& listing);

// Writes the bytes of the entry named name ('\' and '/' alike) to out and
// nothing else. Where several entries bear the name, the last one, which is
// the one extraction leaves in place. Returns 1, or 0 with an error logged
// when the archive cannot be read, holds no such entry, or ends or fails
// before the entry's last byte, or when out fails (outName names it then).
int WriteEntryData(const char* archivePath, std::string_view name, platform::ByteStream& out,
                   const char* outName);
