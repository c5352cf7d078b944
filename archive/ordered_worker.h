// A second thread that runs jobs in the order they were handed to it, so
// that the thread handing them over can read ahead of the work.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "log/log.h"
#include "platform/platform.h"

class OrderedWorker {
 public:
  // A job gets the bytes it was queued with. It returns false to stop: no
  // job queued after it runs then.
  using Job = std::function<bool(std::span<const std::uint8_t> bytes)>;

  // Jobs are handed over in batches, each with a block of `blockSize` bytes
  // for their data; at most `blocks` of them are under way. Where no thread
  // can be started, every job runs at once on the calling thread.
  OrderedWorker(std::size_t blockSize, std::size_t blocks);
  // Drops the jobs not yet run and waits for the one running.
  ~OrderedWorker();
  OrderedWorker(const OrderedWorker&) = delete;
  OrderedWorker& operator=(const OrderedWorker&) = delete;

  // Room for the next job's bytes, `size` of them at most (no more than the
  // block size), waiting for a block when every one is under way.
  std::span<std::uint8_t> Room(std::size_t size);
  // Queues a job with the first `used` bytes of the last Room() (0 for a
  // job without bytes). The log messages that jobs send reach the log on
  // this thread, in order, from this call or Drain(). False once a job has
  // stopped the run; this one is dropped.
  bool Queue(Job job, std::size_t used = 0);
  // Waits until every job queued has run and its messages are sent. False
  // when one stopped the run. A job's exception is thrown here.
  bool Drain();

 private:
  struct Batch {
    std::uint8_t* block = nullptr;
    std::size_t used = 0;
    std::vector<std::pair<Job, std::span<const std::uint8_t>>> jobs;
  };
  // Hands the batch being gathered to the thread; false once stopped.
  bool HandOver();
  void Run();

  const std::size_t blockSize_;
  const std::size_t blocks_;
  DeferredLog log_;
  Batch gathering_;  // the calling thread's alone
  std::span<std::uint8_t> room_;

  std::mutex mutex_;
  std::condition_variable work_;  // a batch arrived, or the end
  std::condition_variable done_;  // a batch was done
  std::deque<Batch> queue_;
  platform::LargeBuffer blockMemory_;  // every block, made on first use
  std::vector<std::uint8_t*> free_;
  std::size_t made_ = 0;  // blocks given out of it
  bool running_ = false;  // a batch is being run
  bool stopped_ = false;
  bool ending_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // not joinable when the jobs run on the calling thread
};
