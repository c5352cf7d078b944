// Reading a whole header list, as extraction, listing and verification do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"

struct HeaderListEnd {
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

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

  // The first header of size 0 that has a name: an empty file packed by
  // another writer. The format ends the list there, so the data block's
  // start is unknown. Index into the entries and the header's offset.
  std::size_t emptyFileIndex = kNone;
  std::uint64_t emptyFileOffset = 0;
  // How many such headers were read past to the terminator; 0 when they
  // were not (the list then ends on the first of them).
  std::size_t recoveredEmptyFiles = 0;
  // Why reading past them was refused, when it was asked for.
  std::string recoveryRefused;

  // The list ends on a named header of size 0 that was not read past.
  bool EndsOnEmptyFile() const { return complete && emptyFileIndex != kNone && recoveredEmptyFiles == 0; }
};

// Reads headers until one has size 0, appending every record read to
// entries, the one that ended the list included (a cut-off one too).
//
// With readPastEmptyFiles, a list that ends on a named header of size 0 is
// read on to the terminator (the first header of size 0 without a name), but
// only when every header behind it is whole and the headers and sizes then
// account exactly for the file's length, with or without the trailer. The
// named headers then stay in entries as empty files. Otherwise entries and
// the result are as without it, with recoveryRefused saying why.
HeaderListEnd ReadHeaderList(platform::ByteStream& stream, std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                             bool readPastEmptyFiles = false);

// The message for a list that did not end on a complete header.
std::string DescribeDamage(const HeaderListEnd& end);

// The message for a list that ends on a named header of size 0 (entries as
// ReadHeaderList left them): the entry, its offset and what is not done
// ("extracted", "listed"), with the vrk command that recovers such archives,
// or why recovery was refused.
std::string DescribeEmptyFileEnd(const HeaderListEnd& end, const std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                                 const std::string& archiveName, const char* command, const char* notDone);

// The warning for a list read past named headers of size 0.
std::string DescribeRecovery(const HeaderListEnd& end, const std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                             const std::string& archiveName);
