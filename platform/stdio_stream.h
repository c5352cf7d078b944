// A ByteStream over a C runtime stream (the Windows implementation's):
// buffered for the small reads and writes of header records, passed
// straight through for large ones.
#pragma once

#include <cstdio>
#include <memory>

#include "platform/platform.h"

namespace platform {

class StdioStream final : public ByteStream {
 public:
  explicit StdioStream(std::FILE* file) : file_(file) {}
  ~StdioStream() override;
  std::size_t Read(void* buffer, std::size_t n) override;
  int GetByte() override;
  bool Write(const void* buffer, std::size_t n) override;
  bool Close() override;
  std::int64_t Length() override;
  bool Seek(std::uint64_t offset) override;
  int error() const override { return error_; }

 private:
  std::FILE* file_;
  int error_ = 0;
};

// A stream on an open descriptor; the descriptor is closed on failure.
std::unique_ptr<ByteStream> StreamOnDescriptor(int fd, const char* mode, int& error);

}  // namespace platform
