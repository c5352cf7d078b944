// Looking into an archive without extracting it: the list of entries, and a
// check that every entry could be extracted whole.
#pragma once

#include <memory>
#include <vector>

#include "archive/archive.h"

// Reads the header list of an archive into entries (the record that ended
// the list is not kept). Returns 1, or 0 with an error logged when the file
// cannot be opened or its header list is damaged.
int ListArchive(const char* archivePath, std::vector<std::unique_ptr<ArchiveEntry>>& entries);

// Reads the whole archive and logs every problem with its byte offset: cut
// headers, data shorter than the sizes claim, a list that ends on a named
// size-0 header, names that extraction refuses. The trailer is reported as
// information. Returns 1 when every entry can be extracted whole.
int VerifyArchive(const char* archivePath);
