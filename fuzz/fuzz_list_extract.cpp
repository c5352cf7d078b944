// `list` against `extract` on the same bytes: the names listed are exactly
// the files a successful extraction writes, and never fewer than any
// extraction writes; the same when empty files from other writers are read
// past.
#include <cstdint>
#include <set>

#include "archive/archive.h"
#include "archive/list_verify.h"
#include "fuzz/sandbox.h"
#include "tests/reference_model.h"

namespace {

// One pass: list, then extract, both reading past empty files from other
// writers or both not.
void ListThenExtract(fuzz::Sandbox& sandbox, const std::uint8_t* data, std::size_t size, bool recover) {
  const auto& run = sandbox.Begin();
  { std::FILE* f = std::fopen((run / "in.vrk").c_str(), "wb"); std::fwrite(data, 1, size, f); std::fclose(f); }

  std::vector<std::unique_ptr<ArchiveEntry>> listed;
  int listResult = ListArchive("in.vrk", listed, recover);
  std::set<std::string> names;
  for (const auto& entry : listed) names.insert(model::Normalize(entry->name));

  Archive archive;
  archive.recoverEmptyFiles = recover;
  int extractResult = archive.Extract("in.vrk");
  if (extractResult == 1 && listResult != 1) fuzz::Sandbox::Fail("extracted an archive whose list is damaged");

  std::set<std::string> written;
  for (const auto& [path, content] : fuzz::Contents(run / "in")) {
    if (content != "<dir>") written.insert(path);
  }
  if (extractResult == 1 && written != names) fuzz::Sandbox::Fail("listed names and extracted files differ");
  for (const std::string& path : written) {
    if (!names.count(path)) fuzz::Sandbox::Fail("extracted a file that is not listed: " + path);
  }
  sandbox.End();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Sandbox sandbox;
  ListThenExtract(sandbox, data, size, false);
  ListThenExtract(sandbox, data, size, true);
  return 0;
}
