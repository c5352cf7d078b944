// Looking into an archive without extracting it: the list of entries, and a
// check that every entry could be extracted whole.
#pragma once

#include <memory>
#include <vector>

#include "archive/archive.h"

// Reads the header list of an archive into entries (the record that ended
// the list is not kept). Returns 1, or 0 with an error logged when the file
// cannot be opened, its header list is damaged or it ends on a named header
// of size 0. With recoverEmptyFiles such headers are read past as extraction
// reads them with the same option (a warning says so) and kept as entries of
// size 0.
int ListArchive(const char* archivePath, std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                bool recoverEmptyFiles = false);

// Reads the whole archive and logs every problem with its byte offset: cut
// headers, data shorter than the sizes claim, a list that ends on a named
// size-0 header, names that extraction refuses, entries that need a folder
// where another entry is a file. Names that two entries share are a warning
// (extraction keeps the later). The trailer is reported as information.
// Returns 1 when every entry can be extracted whole.
int VerifyArchive(const char* archivePath);
