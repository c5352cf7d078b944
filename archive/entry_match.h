// Choosing entries by the names a user types: exact names and shell-style
// patterns, with either separator.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Whether a pattern matches an entry name. '\' and '/' are the same
// separator in both. '*' matches any run of bytes within one folder level,
// '?' one byte and "[...]" one byte of a set ("[a-z]", "[!0-9]" or "[^0-9]"
// for the bytes outside it); none of them matches a separator. A '*', '?' or
// '[' is matched as itself inside brackets ("[*]"): '\' is a separator, not
// an escape. A pattern that matches a folder level of the name matches the
// whole folder ("sub" matches "sub\b.txt"); separators at its end are
// ignored. Bytes compare exactly, letter case included.
bool MatchesEntryPattern(std::string_view pattern, std::string_view name);

// Whether two entry names are the same once '/' and '\' are taken alike.
bool SameEntryName(std::string_view a, std::string_view b);

// A set of patterns that remembers which of them matched something.
class EntrySelection {
 public:
  explicit EntrySelection(std::vector<std::string> patterns);
  // True for every name when there are no patterns.
  bool Chooses(std::string_view name);
  // The patterns that have matched no name so far, in the order given.
  std::vector<std::string> Unmatched() const;
  bool empty() const { return patterns_.empty(); }

 private:
  std::vector<std::string> patterns_;
  std::vector<bool> matched_;
};
