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
  explicit StdioStream(std::FILE* file, NodeId id = {}) : file_(file), id_(id) {}
  ~StdioStream() override;
  std::size_t Read(void* buffer, std::size_t n) override;
  int GetByte() override;
  bool Write(const void* buffer, std::size_t n) override;
  bool Close() override;
  std::int64_t Length() override;
  bool Seek(std::uint64_t offset) override;
  int error() const override { return error_; }
  NodeId Identity() const override { return id_; }

 private:
  std::FILE* file_;
  NodeId id_;
  int error_ = 0;
};

// A stream on an open descriptor; the descriptor is closed on failure. id is
// the file's identity where the caller knows it.
std::unique_ptr<ByteStream> StreamOnDescriptor(int fd, const char* mode, int& error, NodeId id = {});

}  // namespace platform
