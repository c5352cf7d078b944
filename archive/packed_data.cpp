// Packing: the data block's pieces, and writing them into the archive.
#include "archive/packed_data.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "archive/archive.h"
#include "archive/report.h"

std::uint8_t* PackedData::HoldPlace(std::size_t size) {
  if (size > kHoldUpTo || size > holdBudget - std::min(holdBudget, heldSize_)) return nullptr;
  // The pages are touched only as bytes arrive, so the budget costs memory
  // only as far as it is used.
  if (!held_) held_ = std::make_unique_for_overwrite<std::uint8_t[]>(holdBudget + 1);
  return held_.get() + heldSize_;
}

void PackedData::Keep(std::uint32_t size) {
  pieces_.push_back(Piece{size, true, {}});
  heldSize_ += size;
  size_ += size;
}

void PackedData::clear() {
  pieces_ = {};
  held_.reset();
  heldSize_ = 0;
  size_ = 0;
}

namespace {

// Gathers small pieces into one large write; a large referenced file is
// copied straight across (by the kernel where it can).
class DataWriter {
 public:
  explicit DataWriter(platform::ByteStream& out) : out_(out), buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kSize)) {}

  // Room for n bytes at the end of the gathered ones; n is at most kSize.
  std::uint8_t* Place(std::size_t n) {
    if (kSize - used_ < n && !Flush()) return nullptr;
    return buffer_.get() + used_;
  }
  void Commit(std::size_t n) { used_ += n; }
  bool Flush() {
    const std::size_t n = std::exchange(used_, 0);
    return n == 0 || out_.Write(buffer_.get(), n);
  }
  // The buffer, once flushed, as the copy buffer of a large file.
  std::span<std::uint8_t> CopyBuffer() { return {buffer_.get(), kSize}; }

  static constexpr std::size_t kSize = 1 << 20;

 private:
  platform::ByteStream& out_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t used_ = 0;
};

unsigned long long Ull(std::uint64_t n) { return static_cast<unsigned long long>(n); }

}  // namespace

bool Archive::WriteDataBlock(platform::ByteStream& out, bool& sourceFailed) {
  platform::System& sys = platform::Sys();
  static_assert(PackedData::kHoldUpTo < DataWriter::kSize);
  DataWriter writer(out);
  const std::uint8_t* held = data.held();
  std::string path = rootPrefix;
  if (path.empty() || !platform::System::IsSeparator(path.back())) path += '\\';
  const std::size_t folderLength = path.size();

  const std::vector<PackedData::Piece>& pieces = data.pieces();
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const PackedData::Piece& piece = pieces[k];
    if (piece.held) {
      std::uint8_t* place = writer.Place(piece.size);
      if (!place) return false;
      std::memcpy(place, held, piece.size);
      writer.Commit(piece.size);
      held += piece.size;
      continue;
    }
    // The file is opened again by the path the walk opened it by. It must
    // still be the file the walk logged, at the size it logged; its bytes
    // are taken as they are now.
    const char* name = entries[k]->name.c_str();
    path.resize(folderLength);
    path += entries[k]->name;
    auto fail = [&](const char* format, auto... args) {
      sourceFailed = true;
      ReportError(format, name, args...);
      return false;
    };
    int error = 0;
    std::unique_ptr<platform::ByteStream> file = sys.OpenRead(path, true, error);
    if (!file) return fail("%s: the file cannot be read since the walk: %s\n", platform::ErrorText(error).c_str());
    const platform::NodeId id = file->Identity();
    if (!(id == piece.id)) return fail("%s: the file was replaced by another since the walk\n");
    const std::int64_t length = file->Length();
    if (length < 0) return fail("%s: read error: %s\n", platform::ErrorText(file->error()).c_str());
    const char* change = static_cast<std::uint64_t>(length) > piece.size ? "grew" : "shrank";
    if (static_cast<std::uint64_t>(length) != piece.size) {
      return fail("%s: the file %s since the walk (it had %llu bytes, now %llu)\n", change, Ull(piece.size), Ull(length));
    }

    std::uint64_t got = 0;
    bool grew = false;
    if (piece.size < PackedData::kHoldUpTo) {
      // A small file joins the gathered bytes; the one more byte asked for
      // tells whether it grew.
      std::uint8_t* place = writer.Place(piece.size + std::size_t{1});
      if (!place) return false;
      got = file->ReadUpTo(place, piece.size + std::size_t{1});
      if (got < piece.size) got += file->Read(place + got, piece.size - got);
      grew = got > piece.size;
      if (got == piece.size) writer.Commit(piece.size);
    } else {
      if (!writer.Flush()) return false;
      got = file->CopyTo(out, piece.size, writer.CopyBuffer());
      if (out.error()) return false;
      std::uint8_t extra;
      grew = got == piece.size && file->Read(&extra, 1) == 1;
    }
    if (file->error()) return fail("%s: read error: %s\n", platform::ErrorText(file->error()).c_str());
    if (grew) return fail("%s: the file grew while it was copied (it had %llu bytes)\n", Ull(piece.size));
    if (got < piece.size) {
      return fail("%s: the file shrank while it was copied (%llu of %llu bytes)\n", Ull(got), Ull(piece.size));
    }
  }
  return writer.Flush();
}
