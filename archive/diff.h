// Comparing two archives by what they hold, not where they hold it.
#pragma once

#include <string>
#include <vector>

struct EntryDifference {
  enum Kind { Added, Removed, Changed };
  Kind kind;
  std::string name;  // as the archive that has it stores it
};

// Compares the entries of two archives by name ('\' and '/' alike; where an
// archive holds a name twice, the last one counts, as extraction leaves it)
// and, for names in both, by size and then byte for byte. The order of the
// entries in the files does not matter. differences gets one row per name
// that differs, in byte order of the names: Added for a name only the
// second archive holds, Removed for one only the first holds. Returns 1, or
// 0 with an error logged when either archive cannot be read to the end of
// what is compared.
int DiffArchives(const char* first, const char* second, std::vector<EntryDifference>& differences);
