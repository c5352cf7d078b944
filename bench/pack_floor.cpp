// What packing costs at the least, apart from any per-file work: the files
// of a tree (listed beforehand, not timed) go to one output file
//   stream  through one 10 KiB buffer, as a streaming archiver does;
//   hold    into one buffer that holds them all, then out in one pass, as the
//           archive format (headers first) and the packer's design require.
// Both read with the same descriptor reads; "hold" uses the packer's own
// buffer (pages made ready ahead on a helper thread, given back behind the
// writer) and writes through the platform's file stream, as the packer does. The ratio hold/stream bounds what any packer that holds the data
// can reach against a streaming one on this machine.
// Usage: pack_floor FOLDER OUTPUT [ROUNDS]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

double Stream(const std::vector<std::string>& files, const char* output) {
  const auto start = std::chrono::steady_clock::now();
  const int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char> buffer(10240);
  for (const std::string& file : files) {
    const int in = open(file.c_str(), O_RDONLY);
    ssize_t got;
    while ((got = read(in, buffer.data(), buffer.size())) > 0) {
      if (write(out, buffer.data(), static_cast<std::size_t>(got)) != got) std::abort();
    }
    close(in);
  }
  close(out);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Hold(const std::vector<std::string>& files, const char* output) {
  const auto start = std::chrono::steady_clock::now();
  {
    platform::ByteBuffer data;
    for (const std::string& file : files) {
      const int in = open(file.c_str(), O_RDONLY);
      struct stat st;
      fstat(in, &st);
      const std::size_t at = data.size();
      data.resize(at + static_cast<std::size_t>(st.st_size));
      std::size_t done = 0;
      ssize_t got;
      while (done < static_cast<std::size_t>(st.st_size) &&
             (got = read(in, data.data() + at + done, static_cast<std::size_t>(st.st_size) - done)) > 0) {
        done += static_cast<std::size_t>(got);
      }
      close(in);
    }
    int error = 0;
    auto out = platform::Sys().CreateNew(output, error);
    if (!out || !data.WriteOut(*out) || !out->Close()) std::abort();
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s FOLDER OUTPUT [ROUNDS]\n", argv[0]);
    return 2;
  }
  std::vector<std::string> files;
  for (const auto& item : std::filesystem::recursive_directory_iterator(argv[1])) {
    if (item.is_regular_file()) files.push_back(item.path().string());
  }
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
  std::vector<double> stream, hold;
  for (int round = 0; round <= rounds; ++round) {
    std::remove(argv[2]);
    const double s = Stream(files, argv[2]);
    std::remove(argv[2]);
    const double h = Hold(files, argv[2]);
    if (round == 0) continue;  // warms the page cache
    stream.push_back(s);
    hold.push_back(h);
  }
  std::remove(argv[2]);
  std::printf("%zu files: stream %.3f s, hold %.3f s, hold/stream %.2f\n", files.size(), Median(stream), Median(hold),
              Median(hold) / Median(stream));
  return 0;
}
