// The packing buffer on POSIX systems.
//
// The buffer holds every packed file until the archive is written, so each of
// its pages is fresh memory that the kernel zeroes before the file's bytes
// are copied in: a pass over every byte that streaming tools never make. On
// Linux a helper thread makes the pages ready a few MiB ahead of the bytes
// (MADV_POPULATE_WRITE), so that pass runs on another core while this thread
// copies. The reading thread never waits for the helper: where the helper has
// not been yet, the kernel makes the page ready on first touch, as it would
// without the helper. Making a page ready never changes the bytes on it.
//
// When the buffer is written out, the helper gives back the pages behind
// the writer, once their bytes have gone out, so that freeing a packing
// run's memory overlaps the write instead of following it.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/platform.h"

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
#define VRK_PAGER 1
#endif

namespace platform {
namespace {

constexpr std::size_t kStep = 2 << 20;    // pages are made ready in steps of this
constexpr std::size_t kAhead = 8 << 20;   // and at most this far behind the last byte in use
constexpr std::size_t kHelpFrom = 16 << 20;  // the helper starts when the bytes reach this
[[maybe_unused]] constexpr std::size_t kMinimum = 1 << 20;  // the first allocation, where memory is not mapped

std::size_t RoundUp(std::size_t n, std::size_t step) { return (n + step - 1) / step * step; }
std::size_t PageSize() {
  static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

}  // namespace

#ifdef VRK_PAGER
class ByteBuffer::Pager {
 public:
  Pager(std::uint8_t* base, std::size_t capacity, std::size_t ready)
      : base_(base), capacity_(capacity), ready_(ready), goal_(ready) {
    thread_ = std::thread([this] { Run(); });  // std::system_error if no thread can be had
  }
  ~Pager() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  // Asks for the pages up to `until` bytes from the start.
  void Aim(std::size_t until) {
    {
      std::lock_guard lock(mutex_);
      goal_ = std::min(capacity_, std::max(goal_, until));
    }
    wake_.notify_one();
  }
  // Gives back the pages of the first `until` bytes; they read as zero after.
  void Drop(std::size_t until) {
    {
      std::lock_guard lock(mutex_);
      dropGoal_ = std::min(ready_, std::max(dropGoal_, until / PageSize() * PageSize()));
    }
    wake_.notify_one();
  }
  // The mapping is about to move: waits until no step is under way, and
  // starts none until Release() tells the new place.
  void Hold() {
    std::unique_lock lock(mutex_);
    held_ = true;
    idle_.wait(lock, [this] { return !busy_; });
  }
  void Release(std::uint8_t* base, std::size_t capacity) {
    {
      std::lock_guard lock(mutex_);
      base_ = base;
      capacity_ = capacity;
      held_ = false;
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || (!held_ && (dropped_ < dropGoal_ || (!failed_ && ready_ < goal_))); });
      if (stop_) return;
      busy_ = true;
      if (dropped_ < dropGoal_) {
        std::uint8_t* at = base_ + dropped_;
        const std::size_t n = std::min(kStep, dropGoal_ - dropped_);
        lock.unlock();
        madvise(at, n, MADV_DONTNEED);  // on failure the pages go with the mapping
        lock.lock();
        dropped_ += n;
      } else {
        std::uint8_t* at = base_ + ready_;
        const std::size_t n = std::min(kStep, goal_ - ready_);
        lock.unlock();
        // A failure (no memory, or a kernel without the request) only ends
        // the help: the reading thread's own touches still get the pages.
        const bool made = madvise(at, n, MADV_POPULATE_WRITE) == 0;
        lock.lock();
        if (made) {
          ready_ += n;
        } else {
          failed_ = true;
        }
      }
      busy_ = false;
      idle_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::uint8_t* base_;
  std::size_t capacity_;
  std::size_t ready_;  // bytes from base_ whose pages are ready
  std::size_t goal_;   // bytes from base_ whose pages are wanted
  std::size_t dropped_ = 0, dropGoal_ = 0;  // bytes from base_ given back, and to give back
  bool held_ = false, busy_ = false, stop_ = false, failed_ = false;
  std::thread thread_;
};
#else
class ByteBuffer::Pager {};
#endif

ByteBuffer::~ByteBuffer() { Free(); }

void ByteBuffer::Free() {
  delete pager_;  // first: the helper must be gone before the memory is
  pager_ = nullptr;
#ifdef __linux__
  if (data_) munmap(data_, capacity_);
#else
  std::free(data_);
#endif
  data_ = nullptr;
  size_ = capacity_ = committed_ = 0;
}

bool ByteBuffer::WriteOut(ByteStream& out) {
  // Pieces of a few MiB: the helper gives back one piece while the next is
  // written.
  constexpr std::size_t kPiece = 4 << 20;
  bool written = true;
  for (std::size_t at = 0; at < size_ && written; at += kPiece) {
    const std::size_t n = std::min(kPiece, size_ - at);
    written = out.Write(data_ + at, n);
#ifdef VRK_PAGER
    if (pager_) pager_->Drop(at + n);
#endif
  }
  Free();
  return written;
}

void ByteBuffer::resize(std::size_t size) {
  if (size > capacity_) {
    if (size > SIZE_MAX / 4) throw std::bad_alloc();
#ifdef __linux__
    // Address space is reserved well ahead of the bytes, which costs no
    // memory: the mapping seldom moves, and the helper is never stopped at
    // its end while the reader runs past. Where the system will not reserve
    // that much (strict overcommit), exactly what is needed. The mapping is
    // moved, never copied.
    constexpr std::size_t kReserve = sizeof(void*) >= 8 ? std::size_t{1} << 30 : 16 << 20;
    std::size_t wanted = RoundUp(std::max({size + kAhead + kStep, capacity_ * 2, kReserve}), PageSize());
#ifdef VRK_PAGER
    if (pager_) pager_->Hold();
#endif
    auto map = [this](std::size_t bytes) {
      return data_ ? mremap(data_, capacity_, bytes, MREMAP_MAYMOVE)
                   : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    };
    void* grown = map(wanted);
    if (grown == MAP_FAILED) grown = map(wanted = RoundUp(size, PageSize()));
    if (grown != MAP_FAILED) {
      data_ = static_cast<std::uint8_t*>(grown);
      capacity_ = wanted;
    }
#ifdef VRK_PAGER
    if (pager_) pager_->Release(data_, capacity_);
#endif
    if (grown == MAP_FAILED) throw std::bad_alloc();
#else
    // The memory grows by doubling.
    const std::size_t wanted = std::max({size, capacity_ * 2, kMinimum});
    void* grown = std::realloc(data_, wanted);
    if (!grown) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(grown);
    capacity_ = wanted;
#endif
  }
  size_ = size;
#ifdef VRK_PAGER
  if (!pager_ && size < kHelpFrom) {
    // A small run makes its own pages ready, in bulk as the bytes arrive: a
    // helper would cost it more than it saves.
    const std::size_t until = std::min(capacity_, RoundUp(size, kStep));
    if (until > committed_ && madvise(data_ + committed_, until - committed_, MADV_POPULATE_WRITE) == 0) {
      committed_ = until;
    }
    return;
  }
  // The goal moves in whole steps, so the helper is woken once per step of
  // data, not once per file.
  const std::size_t goal = std::min(capacity_, RoundUp(size + kAhead, kStep));
  if (goal <= committed_) return;
  if (!pager_) {
    try {
      pager_ = new Pager(data_, capacity_, committed_);
    } catch (const std::system_error&) {
      // No helper: the first touch of each page makes it ready.
    }
  }
  if (pager_) pager_->Aim(goal);
  committed_ = goal;
#endif
}

}  // namespace platform
