// A byte stream over a string, for reading and writing header records
// without files, for the micro-benchmarks.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace test {

class MemoryStream final : public platform::ByteStream {
 public:
  explicit MemoryStream(std::string bytes = {}) : bytes_(std::move(bytes)) {}
  std::size_t Read(void* buffer, std::size_t n) override {
    n = std::min(n, bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }
  int GetByte() override { return at_ < bytes_.size() ? static_cast<unsigned char>(bytes_[at_++]) : -1; }
  bool Write(const void* buffer, std::size_t n) override {
    bytes_.append(static_cast<const char*>(buffer), n);
    return true;
  }
  bool Close() override { return true; }
  std::int64_t Length() override { return static_cast<std::int64_t>(bytes_.size()); }
  int error() const override { return 0; }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

}  // namespace test
