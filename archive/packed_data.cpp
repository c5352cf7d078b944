// Packing: the data block's pieces, and writing them into the archive.
#include "archive/packed_data.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <thread>
#include <utility>

#include "archive/archive.h"
#include "archive/report.h"

std::uint8_t* PackedData::HoldPlace(std::size_t size) {
  if (size > kHoldUpTo || size > holdBudget - std::min(holdBudget, heldSize_)) return nullptr;
  // The pages are touched only as bytes arrive, so the budget costs memory
  // only as far as it is used.
  if (!held_) {
    try {
      held_ = platform::LargeBuffer(holdBudget + 1);
    } catch (const std::bad_alloc&) {
      holdBudget = 0;  // nothing is held: every file is copied at the write
      return nullptr;
    }
  }
  return held_.data() + heldSize_;
}

void PackedData::Keep(std::uint32_t size) {
  pieces_.push_back(Piece{size, true, {}});
  heldSize_ += size;
  size_ += size;
}

void PackedData::Reference(std::uint32_t size, std::unique_ptr<platform::ByteStream> file) {
  pieces_.push_back(Piece{size, false, file->Identity()});
  size_ += size;
  if (keptOpen_ < std::min(keepOpenUpTo, openAllowed_)) {
    open_.resize(pieces_.size());
    open_.back() = std::move(file);
    ++keptOpen_;
  }
}

std::unique_ptr<platform::ByteStream> PackedData::TakeOpen(std::size_t piece) {
  return piece < open_.size() ? std::move(open_[piece]) : nullptr;
}

void PackedData::clear() {
  pieces_ = {};
  open_ = std::vector<std::unique_ptr<platform::ByteStream>>();
  keptOpen_ = 0;
  openAllowed_ = 0;
  held_ = {};
  heldSize_ = 0;
  size_ = 0;
}

namespace {

unsigned long long Ull(std::uint64_t n) { return static_cast<unsigned long long>(n); }

// What went wrong reading a file of size bytes of which got arrived (size +
// 1: it grew), or "" when nothing did.
std::string ReadFailure(const platform::ByteStream& file, const std::string& name, std::uint64_t got,
                        std::uint64_t size) {
  if (file.error()) return StringPrintf("%s: read error: %s\n", name.c_str(), platform::ErrorText(file.error()).c_str());
  if (got > size) return StringPrintf("%s: the file grew while it was copied (it had %llu bytes)\n", name.c_str(), Ull(size));
  if (got < size) {
    return StringPrintf("%s: the file shrank while it was copied (%llu of %llu bytes)\n", name.c_str(), Ull(got),
                        Ull(size));
  }
  return std::string();
}

// One stretch of the data block, in order: held bytes, written from where
// the walk put them, then bytes gathered here, then either one large file to
// be copied across, or the failure that ends the block.
struct Chunk {
  static constexpr std::size_t kSize = 1 << 20;
  const std::uint8_t* held = nullptr;
  std::size_t heldSize = 0;
  std::unique_ptr<std::uint8_t[]> bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kSize);
  std::size_t used = 0;
  std::unique_ptr<platform::ByteStream> large;  // opened and checked; its bytes follow the gathered ones
  std::size_t largePiece = 0;
  std::string failure;  // a message naming the file; nothing follows it
  bool last = false;    // the block ends behind this chunk
};

// Opens, checks and reads the data block's files on a thread of its own,
// ahead of the thread that writes the archive, and hands it the bytes in
// chunks, in order. A few chunks at most are under way, so memory stays
// bounded; the writer recycles each chunk once written.
class DataReader {
 public:
  DataReader(PackedData& data, const std::vector<std::unique_ptr<ArchiveEntry>>& entries, std::string folder)
      : data_(data), entries_(entries), folder_(std::move(folder)) {
    for (int i = 0; i < kChunks; ++i) free_.push_back(std::make_unique<Chunk>());
    thread_ = std::thread([this] { Run(); });
  }
  ~DataReader() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // The next chunk; give it back with Recycle() once written.
  std::unique_ptr<Chunk> Next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty(); });
    std::unique_ptr<Chunk> chunk = std::move(ready_.front());
    ready_.pop_front();
    return chunk;
  }
  void Recycle(std::unique_ptr<Chunk> chunk) {
    chunk->held = nullptr;
    chunk->heldSize = 0;
    chunk->used = 0;
    chunk->large.reset();
    {
      std::lock_guard lock(mutex_);
      free_.push_back(std::move(chunk));
    }
    changed_.notify_all();
  }

 private:
  static constexpr int kChunks = 3;

  std::unique_ptr<Chunk> Take() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || !free_.empty(); });
    if (stop_) return nullptr;
    std::unique_ptr<Chunk> chunk = std::move(free_.back());
    free_.pop_back();
    return chunk;
  }
  void Hand(std::unique_ptr<Chunk> chunk) {
    {
      std::lock_guard lock(mutex_);
      ready_.push_back(std::move(chunk));
    }
    changed_.notify_all();
  }

  void Run() {
    platform::System& sys = platform::Sys();
    const std::uint8_t* held = data_.held();
    std::string path = folder_;
    const std::vector<PackedData::Piece>& pieces = data_.pieces();
    std::unique_ptr<Chunk> chunk = Take();
    for (std::size_t k = 0; chunk && k < pieces.size(); ++k) {
      const PackedData::Piece& piece = pieces[k];
      // Held bytes go before a chunk's gathered ones, and a piece that does
      // not fit behind the gathered bytes starts a chunk.
      if (piece.held ? chunk->used > 0
                     : piece.size < PackedData::kHoldUpTo && Chunk::kSize - chunk->used <= piece.size) {
        Hand(std::move(chunk));
        if (!(chunk = Take())) return;
      }
      if (piece.held) {
        // Held pieces lie one after another in the held bytes.
        if (!chunk->held) chunk->held = held;
        chunk->heldSize += piece.size;
        held += piece.size;
        continue;
      }
      // A file the walk kept open is the file it logged; any other is opened
      // again by the path the walk opened it by and must still be that file.
      // Either must still have the size logged, and a kept one still a name
      // (it was not removed or replaced); its bytes are taken as they are now.
      const std::string& name = entries_[k]->name;
      path.resize(folder_.size());
      path += name;
      std::unique_ptr<platform::ByteStream> file = data_.TakeOpen(k);
      const bool kept = file != nullptr;
      int error = 0;
      if (!kept) file = sys.OpenRead(path, true, error);
      std::int64_t length = -1;
      bool named = true;
      std::string& failure = chunk->failure;
      if (!file) {
        failure = StringPrintf("%s: the file cannot be read since the walk: %s\n", name.c_str(),
                               platform::ErrorText(error).c_str());
      } else if (!kept && !(file->Identity() == piece.id)) {
        failure = StringPrintf("%s: the file was replaced by another since the walk\n", name.c_str());
      } else if (kept ? !file->StateNow(length, named) : (length = file->Length()) < 0) {
        failure = StringPrintf("%s: read error: %s\n", name.c_str(), platform::ErrorText(file->error()).c_str());
      } else if (!named) {
        platform::PathStatus now;
        const int why = sys.Status(path, true, now);
        if (why || !now.exists) {
          failure = StringPrintf("%s: the file cannot be read since the walk: %s\n", name.c_str(),
                                 platform::ErrorText(why ? why : ENOENT).c_str());
        } else {
          failure = StringPrintf("%s: the file was replaced by another since the walk\n", name.c_str());
        }
      } else if (static_cast<std::uint64_t>(length) != piece.size) {
        failure = StringPrintf("%s: the file %s since the walk (it had %llu bytes, now %llu)\n", name.c_str(),
                               static_cast<std::uint64_t>(length) > piece.size ? "grew" : "shrank", Ull(piece.size),
                               Ull(length));
      } else if (piece.size >= PackedData::kHoldUpTo) {
        // Copied across by the writer, file to file.
        chunk->large = std::move(file);
        chunk->largePiece = k;
        Hand(std::move(chunk));
        chunk = Take();
        continue;
      } else {
        // The one more byte asked for tells whether the file grew, on the
        // second read too: the chunk has room for it (kSize - used > size).
        std::uint8_t* place = chunk->bytes.get() + chunk->used;
        std::size_t got = file->ReadUpTo(place, piece.size + std::size_t{1});
        if (got < piece.size) got += file->Read(place + got, piece.size - got + 1);
        failure = ReadFailure(*file, name, got, piece.size);
        if (failure.empty()) chunk->used += piece.size;
      }
      if (!failure.empty()) break;
    }
    if (chunk) {
      chunk->last = true;
      Hand(std::move(chunk));
    }
  }

  PackedData& data_;
  const std::vector<std::unique_ptr<ArchiveEntry>>& entries_;
  const std::string folder_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Chunk>> ready_;
  std::vector<std::unique_ptr<Chunk>> free_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

bool Archive::WriteDataBlock(platform::ByteStream& out, bool& sourceFailed) {
  static_assert(PackedData::kHoldUpTo < Chunk::kSize);
  if (data.pieces().empty()) return true;
  // Every file's bytes held: they go out as they are, in one piece.
  if (data.AllHeld()) return out.Write(data.held(), static_cast<std::size_t>(data.size()));
  std::string folder = rootPrefix;
  if (folder.empty() || !platform::System::IsSeparator(folder.back())) folder += '\\';
  std::optional<DataReader> reader;
  try {
    reader.emplace(data, entries, folder);
  } catch (const std::exception&) {  // no thread or no memory to be had
    sourceFailed = true;
    ReportError("%s: cannot start reading the files: %s\n", rootPrefix.c_str(), platform::ErrorText(EAGAIN).c_str());
    return false;
  }
  std::unique_ptr<std::uint8_t[]> copyBuffer;
  for (;;) {
    std::unique_ptr<Chunk> chunk = reader->Next();
    if (chunk->heldSize > 0 && !out.Write(chunk->held, chunk->heldSize)) return false;
    if (chunk->used > 0 && !out.Write(chunk->bytes.get(), chunk->used)) return false;
    if (chunk->large) {
      platform::ByteStream& file = *chunk->large;
      const std::uint32_t size = data.pieces()[chunk->largePiece].size;
      if (!copyBuffer) copyBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(Chunk::kSize);
      std::uint64_t got = file.CopyTo(out, size, std::span<std::uint8_t>(copyBuffer.get(), Chunk::kSize));
      if (out.error()) return false;
      std::uint8_t extra;
      if (got == size && file.Read(&extra, 1) == 1) ++got;
      chunk->failure = ReadFailure(file, entries[chunk->largePiece]->name, got, size);
    }
    if (!chunk->failure.empty()) {
      sourceFailed = true;
      ReportError("%s", chunk->failure.c_str());
      return false;
    }
    if (chunk->last) return true;
    reader->Recycle(std::move(chunk));
  }
}
