// A small tree made from the input, packed and extracted back: the result
// must equal the tree byte for byte.
#include <cstdint>

#include "archive/archive.h"
#include "fuzz/sandbox.h"

namespace {

// Turns input bytes into (path, content) pairs: names from a varied
// alphabet, up to three levels, contents of 1 to 64 bytes.
std::map<std::string, std::string> TreeFrom(const std::uint8_t* data, std::size_t size) {
  static const char kLetters[] = "abcXYZ019 _-.~+\xe9\xff";
  std::map<std::string, std::string> tree;
  std::size_t at = 0;
  auto next = [&]() -> unsigned { return at < size ? data[at++] : 0; };
  while (at < size && tree.size() < 24) {
    unsigned depth = next() % 3;
    std::string path;
    for (unsigned level = 0; level <= depth; ++level) {
      std::string part;
      unsigned length = 1 + next() % 8;
      for (unsigned i = 0; i < length; ++i) part += kLetters[next() % (sizeof kLetters - 1)];
      if (part[0] == '.' || part[0] == ' ') part[0] = 'f';  // no dot folders, no "." or ".."
      if (!path.empty()) path += '/';
      path += part;
    }
    std::string content;
    unsigned length = 1 + next() % 64;
    for (unsigned i = 0; i < length; ++i) content += static_cast<char>(next());
    // A path that would be both a file and a folder is left out.
    bool clash = false;
    for (const auto& [other, ignored] : tree) {
      if (other == path || other.starts_with(path + "/") || path.starts_with(other + "/")) clash = true;
    }
    if (!clash) tree[path] = content;
  }
  return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Sandbox sandbox;
  const auto& run = sandbox.Begin();
  const std::map<std::string, std::string> tree = TreeFrom(data, size);
  for (const auto& [path, content] : tree) {
    std::filesystem::path file = run / "src" / path;
    std::filesystem::create_directories(file.parent_path());
    std::FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  std::filesystem::create_directories(run / "src");

  {
    Archive packer;
    if (packer.CompressPath("tree.vrk", (run / "src").c_str()) != 1) fuzz::Sandbox::Fail("packing failed");
  }
  Archive unpacker;
  if (unpacker.Extract("tree.vrk") != 1) fuzz::Sandbox::Fail("extracting failed");
  std::map<std::string, std::string> back;
  for (const auto& [path, content] : fuzz::Contents(run / "tree")) {
    if (content != "<dir>") back[path] = content;
  }
  if (back != tree) fuzz::Sandbox::Fail("the tree did not come back byte for byte");
  sandbox.End();
  return 0;
}
