#include "archive/entry_match.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Matches a "[...]" set at pattern[at] against c. Returns the length of the
// set in the pattern, or 0 when the '[' opens no set (no closing ']') and is
// to be taken as itself.
std::size_t MatchSet(std::string_view pattern, std::size_t at, unsigned char c, bool& hit) {
  std::size_t i = at + 1;
  const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negated) ++i;
  const std::size_t first = i;
  bool found = false;
  for (; i < pattern.size(); ++i) {
    if (pattern[i] == ']' && i > first) {
      hit = found != negated && !IsSeparator(static_cast<char>(c));
      return i + 1 - at;
    }
    auto low = static_cast<unsigned char>(pattern[i]);
    auto high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      high = static_cast<unsigned char>(pattern[i + 2]);
      i += 2;
    }
    if (low <= c && c <= high) found = true;
  }
  return 0;
}

// The whole of name against the whole of pattern. A '*' that fails is
// retried one byte further, never across a separator, so the work stays
// proportional to the product of the two lengths at worst.
bool Glob(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size()) {
      const char pc = pattern[p];
      const char nc = name[n];
      if (pc == '*') {
        starP = ++p;
        starN = n;
        continue;
      }
      if (pc == '?' && !IsSeparator(nc)) {
        ++p, ++n;
        continue;
      }
      if (pc == '[') {
        bool hit = false;
        if (std::size_t length = MatchSet(pattern, p, static_cast<unsigned char>(nc), hit)) {
          if (hit) {
            p += length, ++n;
            continue;
          }
        } else if (nc == '[') {
          ++p, ++n;
          continue;
        }
      } else if (pc == nc || (IsSeparator(pc) && IsSeparator(nc))) {
        ++p, ++n;
        continue;
      }
    }
    // A mismatch: let the last '*' take one byte more, within its level.
    if (starP == std::string_view::npos || IsSeparator(name[starN])) return false;
    p = starP;
    n = ++starN;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesEntryPattern(std::string_view pattern, std::string_view name) {
  while (!pattern.empty() && IsSeparator(pattern.back())) pattern.remove_suffix(1);
  if (pattern.empty()) return false;
  if (Glob(pattern, name)) return true;
  // A folder level of the name: the whole folder.
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (IsSeparator(name[i]) && Glob(pattern, name.substr(0, i))) return true;
  }
  return false;
}

bool SameEntryName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && !(IsSeparator(a[i]) && IsSeparator(b[i]))) return false;
  }
  return true;
}

EntrySelection::EntrySelection(std::vector<std::string> patterns)
    : patterns_(std::move(patterns)), matched_(patterns_.size(), false) {}

bool EntrySelection::Chooses(std::string_view name) {
  bool chosen = patterns_.empty();
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    if (MatchesEntryPattern(patterns_[i], name)) chosen = matched_[i] = true;
  }
  return chosen;
}

std::vector<std::string> EntrySelection::Unmatched() const {
  std::vector<std::string> unmatched;
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    if (!matched_[i]) unmatched.push_back(patterns_[i]);
  }
  return unmatched;
}
