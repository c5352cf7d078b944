#include "archive/ordered_worker.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace {

// A batch goes to the lanes when its block is full or it has this many jobs:
// a lane is woken once per batch rather than once per job, and the log
// still hears of the work often.
constexpr std::size_t kBatchJobs = 64;

}  // namespace

OrderedWorker::OrderedWorker(std::size_t blockSize, std::size_t blocks, std::size_t lanes)
    : blockSize_(blockSize), blocks_(blocks) {
  try {
    for (std::size_t lane = 0; lane < lanes; ++lane) threads_.emplace_back([this, lane] { Run(lane); });
  } catch (const std::system_error&) {
    // Fewer threads than asked: the ones started serve. None: the jobs run
    // where they are queued.
  }
}

OrderedWorker::~OrderedWorker() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    Stop(0, nullptr);  // no job starts any more
  }
  work_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  std::unique_lock lock(mutex_);
  Forward(lock);
}

std::span<std::uint8_t> OrderedWorker::Room(std::size_t size) {
  if (gathering_->block && blockSize_ - gathering_->used < size) HandOver();
  if (!gathering_->block) {
    std::unique_lock lock(mutex_);
    for (;;) {
      Forward(lock);
      if (!free_.empty() || made_ < blocks_) break;
      done_.wait(lock);
    }
    if (free_.empty()) {
      if (!blockMemory_) blockMemory_ = platform::LargeBuffer(blockSize_ * blocks_);
      gathering_->block = blockMemory_.data() + blockSize_ * made_++;
    } else {
      gathering_->block = free_.back();
      free_.pop_back();
    }
    gathering_->used = 0;
  }
  room_ = std::span(gathering_->block + gathering_->used, std::min(size, blockSize_ - gathering_->used));
  return room_;
}

bool OrderedWorker::Queue(Job job, std::size_t used) {
  std::span<const std::uint8_t> bytes = used ? room_.first(used) : std::span<const std::uint8_t>();
  room_ = {};
  if (stoppedAt_ != kNone) return false;
  if (threads_.empty()) {
    try {
      if (!job(bytes, 0)) Stop(queued_, nullptr);
    } catch (...) {
      Stop(queued_, std::current_exception());
    }
    ++queued_;
    return Drain();
  }
  if (gathering_->jobs.empty()) gathering_->first = queued_;
  gathering_->jobs.emplace_back(std::move(job), bytes);
  gathering_->used += used;
  ++queued_;
  if (gathering_->jobs.size() < kBatchJobs) return true;
  return HandOver();
}

bool OrderedWorker::HandOver() {
  std::unique_ptr<Batch> batch = std::exchange(gathering_, std::make_unique<Batch>());
  if (batch->jobs.empty()) {
    // Only a block: it goes back for the next batch.
    gathering_->block = batch->block;
    gathering_->used = 0;
    return stoppedAt_ == kNone;
  }
  {
    std::unique_lock lock(mutex_);
    waiting_.push_back(batch.get());
    handedOver_.push_back(std::move(batch));
    Forward(lock);
  }
  work_.notify_one();
  return stoppedAt_ == kNone;
}

void OrderedWorker::Forward(std::unique_lock<std::mutex>& lock) {
  while (!handedOver_.empty() && handedOver_.front()->done) {
    std::unique_ptr<Batch> batch = std::move(handedOver_.front());
    handedOver_.pop_front();
    lock.unlock();
    batch->log->Forward();
    lock.lock();
  }
}

bool OrderedWorker::Drain() {
  if (!threads_.empty()) {
    if (!gathering_->jobs.empty()) HandOver();
    std::unique_lock lock(mutex_);
    for (;;) {
      Forward(lock);
      if (handedOver_.empty()) break;
      done_.wait(lock);
    }
  }
  std::lock_guard lock(mutex_);
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return stoppedAt_ == kNone;
}

void OrderedWorker::Stop(std::uint64_t job, std::exception_ptr failure) {
  // Of two stops the earlier job's is the run's, with its exception if it
  // threw one.
  if (job >= stoppedAt_) return;
  stoppedAt_ = job;
  failure_ = failure;
}

void OrderedWorker::Run(std::size_t lane) {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return !waiting_.empty() || ending_; });
    if (waiting_.empty()) return;
    Batch& batch = *waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    {
      ScopedLogDeferral deferral(*batch.log);
      std::uint64_t number = batch.first;
      for (auto& [job, bytes] : batch.jobs) {
        // Nothing queued after a job that stopped the run starts.
        if (number > stoppedAt_) break;
        std::exception_ptr failure;
        bool keepOn = false;
        try {
          keepOn = job(bytes, lane);
        } catch (...) {
          failure = std::current_exception();
        }
        if (!keepOn) {
          lock.lock();
          Stop(number, failure);
          lock.unlock();
        }
        ++number;
      }
    }
    batch.jobs.clear();
    lock.lock();
    batch.done = true;
    if (batch.block) free_.push_back(batch.block);
    done_.notify_all();
  }
}
