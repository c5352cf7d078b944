// The scratch folder each fuzz input runs in, and the checks that nothing
// was written outside the place it belongs.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "platform/platform.h"

namespace fuzz {

namespace fs = std::filesystem;

// A private folder for the fuzzing process, with one fresh "run" folder per
// input made current while the input is processed.
class Sandbox {
 public:
  Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "vrk-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    root_ = fs::canonical(pattern);
    // Nested a few levels down, so a name that climbs out of the output
    // folder lands inside the sandbox, where End() finds it.
    run_ = root_ / "1" / "2" / "3" / "4" / "run";
    home_ = platform::Sys().CurrentDirectory();
  }
  ~Sandbox() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Creates the run folder, makes it current and returns its path.
  const fs::path& Begin() {
    std::error_code ignored;
    fs::remove_all(run_, ignored);
    fs::create_directories(run_);
    if (platform::Sys().ChangeDirectory(run_.string()) != 0) std::abort();
    return run_;
  }

  // Checks that the current directory is the run folder again and that the
  // sandbox holds nothing but it, then clears it.
  void End() {
    if (platform::Sys().CurrentDirectory() != run_.string()) Fail("the current directory was not restored");
    const std::string inside = run_.string() + "/";
    for (const auto& item : fs::recursive_directory_iterator(root_)) {
      const std::string path = item.path().string();
      bool onTheWay = inside.starts_with(path + "/");
      if (!onTheWay && path != run_.string() && !path.starts_with(inside)) {
        Fail("a file appeared outside the run folder: " + path);
      }
    }
    // Back where the fuzzer started, which reads its corpus by relative paths.
    platform::Sys().ChangeDirectory(home_);
  }

  const fs::path& run() const { return run_; }

  [[noreturn]] static void Fail(const std::string& why) {
    std::fprintf(stderr, "fuzz check failed: %s\n", why.c_str());
    std::abort();
  }

 private:
  fs::path root_;
  fs::path run_;
  std::string home_;
};

// Every item below a folder, links not followed: relative path -> content
// for files, "<dir>" for folders, "<other>" for anything else.
inline std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> items;
  if (!fs::exists(fs::symlink_status(folder))) return items;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    std::string relative = fs::relative(item.path(), folder).string();
    if (item.is_symlink()) {
      items[relative] = "<link>";
    } else if (item.is_directory()) {
      items[relative] = "<dir>";
    } else if (item.is_regular_file()) {
      std::FILE* f = std::fopen(item.path().c_str(), "rb");
      std::string content;
      char buffer[4096];
      for (std::size_t n; f && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) content.append(buffer, n);
      if (f) std::fclose(f);
      items[relative] = content;
    } else {
      items[relative] = "<other>";
    }
  }
  return items;
}

}  // namespace fuzz
