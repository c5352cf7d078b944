#include "archive/ordered_worker.h"

#include <system_error>
#include <utility>

namespace {

// A batch goes to the thread when its block is full or it has this many
// jobs: the thread is woken once per batch, not once per job, and the log
// still hears of the work often.
constexpr std::size_t kBatchJobs = 64;

}  // namespace

OrderedWorker::OrderedWorker(std::size_t blockSize, std::size_t blocks) : blockSize_(blockSize), blocks_(blocks) {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to be had: the jobs run where they are queued.
  }
}

OrderedWorker::~OrderedWorker() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      ending_ = true;
      queue_.clear();
    }
    work_.notify_one();
    thread_.join();
  }
  log_.Forward();
}

std::span<std::uint8_t> OrderedWorker::Room(std::size_t size) {
  if (gathering_.block && blockSize_ - gathering_.used < size) HandOver();
  if (!gathering_.block) {
    std::unique_lock lock(mutex_);
    if (free_.empty() && made_ == blocks_) {
      lock.unlock();
      for (;;) {
        log_.Forward();
        lock.lock();
        if (!free_.empty()) break;
        done_.wait(lock);
        lock.unlock();
      }
    }
    if (free_.empty()) {
      if (!blockMemory_) blockMemory_ = platform::LargeBuffer(blockSize_ * blocks_);
      gathering_.block = blockMemory_.data() + blockSize_ * made_++;
    } else {
      gathering_.block = free_.back();
      free_.pop_back();
    }
    gathering_.used = 0;
  }
  room_ = std::span(gathering_.block + gathering_.used, std::min(size, blockSize_ - gathering_.used));
  return room_;
}

bool OrderedWorker::Queue(Job job, std::size_t used) {
  std::span<const std::uint8_t> bytes = used ? room_.first(used) : std::span<const std::uint8_t>();
  room_ = {};
  if (!thread_.joinable()) {
    if (!stopped_ && !job(bytes)) stopped_ = true;
    return !stopped_;
  }
  gathering_.jobs.emplace_back(std::move(job), bytes);
  gathering_.used += used;
  if (gathering_.jobs.size() < kBatchJobs) return true;
  return HandOver();
}

bool OrderedWorker::HandOver() {
  log_.Forward();
  bool stopped;
  {
    std::lock_guard lock(mutex_);
    stopped = stopped_;
    if (!stopped) queue_.push_back(std::move(gathering_));
  }
  if (stopped) {
    gathering_.jobs.clear();
  } else {
    gathering_ = {};
    work_.notify_one();
  }
  return !stopped;
}

bool OrderedWorker::Drain() {
  if (thread_.joinable()) {
    if (!gathering_.jobs.empty()) HandOver();
    for (;;) {
      log_.Forward();
      std::unique_lock lock(mutex_);
      if (queue_.empty() && !running_) break;
      done_.wait(lock);
    }
    log_.Forward();
  }
  std::lock_guard lock(mutex_);
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return !stopped_;
}

void OrderedWorker::Run() {
  ScopedLogDeferral deferral(log_);
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return !queue_.empty() || ending_; });
    if (queue_.empty()) return;
    Batch batch = std::move(queue_.front());
    queue_.pop_front();
    running_ = true;
    lock.unlock();
    bool keepOn = true;
    std::exception_ptr failure;
    for (auto& [job, bytes] : batch.jobs) {
      try {
        keepOn = job(bytes);
      } catch (...) {
        failure = std::current_exception();
        keepOn = false;
      }
      if (!keepOn) break;
    }
    lock.lock();
    running_ = false;
    if (batch.block) free_.push_back(batch.block);
    if (!keepOn) {
      // Nothing queued after a job that stopped runs.
      stopped_ = true;
      failure_ = failure;
      queue_.clear();
    }
    done_.notify_one();
  }
}
