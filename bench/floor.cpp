// What packing and extracting cost at the least on this machine, with no
// per-file work beyond the system calls that move the bytes:
//   copy    every file of a tree into one new file, file to file in the
//           kernel (copy_file_range), as packing must at the least;
//   create  every file of a tree, from bytes already in memory, in new
//           folders, as extracting must at the least;
//   create2 the same on two threads, each creating half of the files.
// The tree is listed (and for create read) beforehand, untimed. Prints the
// median of ROUNDS rounds in seconds.
// Usage: floor copy FOLDER OUTPUT [ROUNDS] | floor create|create2 FOLDER OUTDIR [ROUNDS]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

double Copy(const std::vector<fs::path>& files, const std::string& output) {
  sync();  // as the bench does before every run: no earlier round's writeback lands in this one
  const auto start = std::chrono::steady_clock::now();
  const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (const fs::path& file : files) {
    const int in = open(file.c_str(), O_RDONLY);
    while (copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0) > 0) {
    }
    close(in);
  }
  close(out);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Creates the files [begin, end) of the list.
void CreateRange(const std::vector<std::pair<fs::path, std::string>>& files, std::size_t begin, std::size_t end,
                 const fs::path& outdir) {
  for (std::size_t i = begin; i < end; ++i) {
    const auto& [name, bytes] = files[i];
    int fd = open((outdir / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
      std::error_code ignored;  // the other thread may be making the same folders
      fs::create_directories((outdir / name).parent_path(), ignored);
      fd = open((outdir / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    close(fd);
  }
}

// Every file created; with two threads, each takes one half of the list.
double Create(const std::vector<std::pair<fs::path, std::string>>& files, const fs::path& outdir, int threads) {
  fs::remove_all(outdir);
  sync();
  const auto start = std::chrono::steady_clock::now();
  if (threads == 2) {
    std::thread other(CreateRange, std::cref(files), files.size() / 2, files.size(), std::cref(outdir));
    CreateRange(files, 0, files.size() / 2, outdir);
    other.join();
  } else {
    CreateRange(files, 0, files.size(), outdir);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const bool create2 = std::strcmp(argv[1], "create2") == 0;
  if (argc < 4 || (std::strcmp(argv[1], "copy") != 0 && std::strcmp(argv[1], "create") != 0 && !create2)) {
    std::fprintf(stderr, "usage: %s copy|create|create2 FOLDER OUTPUT [ROUNDS]\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[2];
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  std::vector<fs::path> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) files.push_back(item.path());
  }
  std::vector<double> times;
  if (std::strcmp(argv[1], "copy") == 0) {
    for (int i = 0; i <= rounds; ++i) times.push_back(Copy(files, argv[3]));
  } else {
    std::vector<std::pair<fs::path, std::string>> contents;
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      contents.emplace_back(fs::relative(file, folder), std::string(std::istreambuf_iterator<char>(in), {}));
    }
    for (int i = 0; i <= rounds; ++i) times.push_back(Create(contents, argv[3], create2 ? 2 : 1));
    fs::remove_all(argv[3]);
  }
  times.erase(times.begin());  // the first round warms the caches
  std::sort(times.begin(), times.end());
  std::printf("%.3f\n", times[times.size() / 2]);
}
