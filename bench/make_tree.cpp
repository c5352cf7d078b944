// Writes the benchmark trees, the same bytes on every run:
//   small  20,000 files of 1 to 16 KiB in 400 folders, four levels deep
//   large  four files of 256 MiB
//   deep   2,000 files in folders nested 40 deep
// Usage: make_tree KIND FOLDER
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// prefix and number, built step by step (g++ 12 warns wrongly about the
// same thing written as a concatenation).
std::string Name(const char* prefix, long long number, const char* suffix = "") {
  std::string name(prefix);
  name += std::to_string(number);
  name += suffix;
  return name;
}

void WriteFile(const fs::path& path, std::size_t size, std::mt19937_64& random) {
  std::vector<std::uint64_t> words((size + 7) / 8);
  for (auto& word : words) word = random();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || std::fwrite(words.data(), 1, size, file) != size || std::fclose(file) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

void Small(const fs::path& root, std::mt19937_64& random) {
  // 5 * 5 * 4 * 4 = 400 folders at the fourth level, 50 files in each.
  for (int a = 0; a < 5; ++a)
    for (int b = 0; b < 5; ++b)
      for (int c = 0; c < 4; ++c)
        for (int d = 0; d < 4; ++d) {
          fs::path folder = root / Name("a", a) / Name("b", b) / Name("c", c) /
                            Name("d", d);
          fs::create_directories(folder);
          for (int f = 0; f < 50; ++f) {
            WriteFile(folder / Name("file", f, ".dat"), 1024 + random() % (15 * 1024 + 1), random);
          }
        }
}

void Large(const fs::path& root, std::mt19937_64& random) {
  fs::create_directories(root);
  for (int f = 0; f < 4; ++f) WriteFile(root / Name("blob", f, ".bin"), std::size_t{256} << 20, random);
}

void Deep(const fs::path& root, std::mt19937_64& random) {
  // 50 chains of 40 nested folders, one file at each level.
  for (int chain = 0; chain < 50; ++chain) {
    fs::path folder = root / Name("chain", chain);
    for (int level = 0; level < 40; ++level) {
      folder /= Name("level", level);
      fs::create_directories(folder);
      WriteFile(folder / "f.dat", 512 + random() % 4096, random);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_tree small|large|deep FOLDER\n");
    return 2;
  }
  std::mt19937_64 random(20261206);
  fs::path root(argv[2]);
  if (std::strcmp(argv[1], "small") == 0) {
    Small(root, random);
  } else if (std::strcmp(argv[1], "large") == 0) {
    Large(root, random);
  } else if (std::strcmp(argv[1], "deep") == 0) {
    Deep(root, random);
  } else {
    std::fprintf(stderr, "unknown tree %s\n", argv[1]);
    return 2;
  }
  return 0;
}
