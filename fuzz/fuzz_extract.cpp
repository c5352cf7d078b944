// Any bytes as an archive, extracted into a fresh folder: nothing may appear
// outside the output folder, and a success must leave exactly the files the
// archive holds.
#include <cstdint>

#include "archive/archive.h"
#include "fuzz/sandbox.h"
#include "tests/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Sandbox sandbox;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto& run = sandbox.Begin();
  { std::FILE* f = std::fopen((run / "in.vrk").c_str(), "wb"); std::fwrite(bytes.data(), 1, bytes.size(), f); std::fclose(f); }

  Archive archive;
  int result = archive.Extract("in.vrk");

  for (const auto& item : std::filesystem::directory_iterator(run)) {
    std::string name = item.path().filename().string();
    if (name != "in.vrk" && name != "in") fuzz::Sandbox::Fail("written beside the output folder: " + name);
  }
  model::Reading reading = model::Read(bytes);
  if (result == 1) {
    if (!reading.CanSucceed()) fuzz::Sandbox::Fail("a damaged or refused archive was reported as extracted");
    std::map<std::string, std::string> files;
    for (const auto& [path, content] : fuzz::Contents(run / "in")) {
      if (content != "<dir>") files[path] = content;
    }
    if (files != reading.files) fuzz::Sandbox::Fail("the extracted files differ from the archive's entries");
  }
  sandbox.End();
  return 0;
}
