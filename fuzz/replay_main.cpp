// Runs a fuzz target over saved inputs without libFuzzer, so ordinary builds
// replay the corpus in the test suite. Arguments are files or folders; a
// file whose name ends in ".hex" holds the input as hexadecimal text.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::string Load(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  if (path.extension() != ".hex") return bytes;
  std::string decoded;
  int high = -1;
  for (char c : bytes) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    int value = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
    if (high < 0) {
      high = value;
    } else {
      decoded += static_cast<char>(high * 16 + value);
      high = -1;
    }
  }
  return decoded;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& item : std::filesystem::directory_iterator(arg)) inputs.push_back(item.path());
    } else {
      inputs.push_back(arg);
    }
  }
  for (const auto& path : inputs) {
    std::string bytes = Load(path);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu passed, 0 failed\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
