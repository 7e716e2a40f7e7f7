#include "upload/CompressionPipeline.h"

#include <algorithm>
#include <exception>
#include <new>

namespace drovane {

CompressionPipeline::CompressionPipeline(int threads, size_t inFlight, Compress compress)
    : compress_(std::move(compress)),
      inFlight_(std::max<size_t>(inFlight, static_cast<size_t>(std::max(threads, 1)))) {
  try {
    for (int i = 0; i < std::max(threads, 1); ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    // A thread that could not be started: those that were are stopped before the error leaves,
    // as no destructor runs for a half-made pipeline.
    Stop();
    throw;
  }
}

CompressionPipeline::~CompressionPipeline() {
  Stop();
}

void CompressionPipeline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

int CompressionPipeline::ThreadsForThisMachine() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::min(std::max(cores, 1u), 8u));
}

void CompressionPipeline::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::shared_ptr<Job> job;
    changed_.wait(lock, [this, &job] {
      if (stopping_) return true;
      for (const std::shared_ptr<Job>& waiting : jobs_) {
        if (!waiting->started) {
          job = waiting;
          return true;
        }
      }
      return false;
    });
    if (!job) return;  // stopping
    job->started = true;
    lock.unlock();
    bool compressed = false;
    std::string reason;
    try {
      compressed = compress_(job->copy, job->out, reason);
    } catch (const std::bad_alloc&) {
      reason = "Insufficient memory";
    } catch (const std::exception& error) {
      // Nothing may leave a worker: the file is left out with the reason.
      reason = error.what();
    }
    // The copy is no longer needed: its memory goes back before the result is handed on.
    std::string().swap(job->copy);
    lock.lock();
    job->compressed = compressed;
    job->reason = std::move(reason);
    job->finished = true;
    changed_.notify_all();
  }
}

void CompressionPipeline::HandBack(std::unique_lock<std::mutex>& lock, bool wait) {
  for (;;) {
    if (jobs_.empty()) return;
    if (!jobs_.front()->finished) {
      if (!wait) return;
      changed_.wait(lock, [this] { return jobs_.front()->finished; });
    }
    std::shared_ptr<Job> job = jobs_.front();
    jobs_.pop_front();
    lock.unlock();
    job->done(job->compressed, job->out, job->reason);
    lock.lock();
  }
}

void CompressionPipeline::Submit(std::string copy, Done done) {
  auto job = std::make_shared<Job>();
  job->copy = std::move(copy);
  job->done = std::move(done);
  std::unique_lock<std::mutex> lock(mutex_);
  HandBack(lock, false);
  while (jobs_.size() >= inFlight_) {
    // Full: the oldest result is waited for and handed back first.
    changed_.wait(lock, [this] { return jobs_.front()->finished; });
    HandBack(lock, false);
  }
  jobs_.push_back(std::move(job));
  changed_.notify_all();
}

void CompressionPipeline::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  HandBack(lock, true);
}

}  // namespace drovane
