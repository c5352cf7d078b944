// Threads that run jobs handed over by one thread, so that it can read ahead
// of the work, with the outcome of running them in order: their messages
// reach the log in the order the jobs were handed over, and once a job stops
// the run no job handed over after it starts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "log/log.h"
#include "platform/platform.h"

class OrderedWorker {
 public:
  // A job gets the bytes it was queued with and the lane (0 to lanes - 1)
  // that runs it; jobs on one lane never run at the same time. It returns
  // false to stop: no job queued after it starts then.
  using Job = std::function<bool(std::span<const std::uint8_t> bytes, std::size_t lane)>;

  // Jobs are handed over in batches, each with a block of `blockSize` bytes
  // for their data; at most `blocks` of them are under way. The jobs of one
  // batch run in order on one lane; with more than one lane, batches run
  // side by side, so their jobs must not depend on one another's order.
  // Where no thread can be started, every job runs at once on the calling
  // thread, in lane 0.
  OrderedWorker(std::size_t blockSize, std::size_t blocks, std::size_t lanes);
  // Starts no more jobs and waits for the ones running.
  ~OrderedWorker();
  OrderedWorker(const OrderedWorker&) = delete;
  OrderedWorker& operator=(const OrderedWorker&) = delete;

  // Room for the next job's bytes, `size` of them at most (no more than the
  // block size), waiting for a block when every one is under way.
  std::span<std::uint8_t> Room(std::size_t size);
  // Queues a job with the first `used` bytes of the last Room() (0 for a
  // job without bytes). The messages that jobs log reach the log on this
  // thread, in order, from this call, Room() or Drain(). False once a job
  // has stopped the run; this one is dropped.
  bool Queue(Job job, std::size_t used = 0);
  // Waits until every job queued has run and its messages are sent. False
  // when one stopped the run. The exception of a job is thrown here.
  bool Drain();

 private:
  static constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();
  struct Batch {
    std::uint64_t first = 0;  // the number of its first job, counted over the run
    std::uint8_t* block = nullptr;
    std::size_t used = 0;
    std::vector<std::pair<Job, std::span<const std::uint8_t>>> jobs;
    std::unique_ptr<DeferredLog> log = std::make_unique<DeferredLog>();
    bool done = false;
  };
  // Hands the batch being gathered to the lanes; false once stopped.
  bool HandOver();
  // Sends on the messages of the batches done, in order, up to the first
  // not yet done.
  void Forward(std::unique_lock<std::mutex>& lock);
  void Run(std::size_t lane);
  // Marks the run stopped at this job (under the lock once lanes run).
  void Stop(std::uint64_t job, std::exception_ptr failure);

  const std::size_t blockSize_;
  const std::size_t blocks_;
  std::unique_ptr<Batch> gathering_ = std::make_unique<Batch>();  // the calling thread's alone
  std::span<std::uint8_t> room_;
  std::uint64_t queued_ = 0;  // jobs queued so far

  std::mutex mutex_;
  std::condition_variable work_;  // a batch arrived, or the end
  std::condition_variable done_;  // a batch was done
  std::deque<Batch*> waiting_;    // handed over, not yet started
  std::deque<std::unique_ptr<Batch>> handedOver_;  // in order; the front is the next to forward
  platform::LargeBuffer blockMemory_;  // every block, made on first use
  std::vector<std::uint8_t*> free_;
  std::size_t made_ = 0;  // blocks given out of it
  bool ending_ = false;
  // The job that stopped the run (kNone while none has), and its exception.
  std::atomic<std::uint64_t> stoppedAt_ = kNone;
  std::exception_ptr failure_;
  std::vector<std::thread> threads_;  // none when the jobs run on the calling thread
};
