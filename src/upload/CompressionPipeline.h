#pragma once
// Compresses the files of a package on several threads while the walk goes on building the next
// upload copies, and hands the results back in the order the copies were given. Pure.
//
// Memory stays bounded: Submit waits while as many copies as allowed are given and not yet
// handed back, so at most that many copies and their compressed forms are held at once.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace drovane {

class CompressionPipeline {
 public:
  // Compresses a copy into out; false on failure with reason set.
  using Compress =
      std::function<bool(const std::string& copy, std::string& out, std::string& reason)>;
  // Receives a result on the thread that calls Submit and Finish, in submission order: whether
  // the compression succeeded, the compressed bytes (to be moved away) or the reason.
  using Done = std::function<void(bool compressed, std::string& out, const std::string& reason)>;

  // threads >= 1 workers; at most inFlight copies (>= threads) are held at once.
  CompressionPipeline(int threads, size_t inFlight, Compress compress);
  // Waits for the workers; results not yet handed back are dropped.
  ~CompressionPipeline();
  CompressionPipeline(const CompressionPipeline&) = delete;
  CompressionPipeline& operator=(const CompressionPipeline&) = delete;

  // Takes the copy; hands back the results that are ready, and waits while the pipeline is full.
  void Submit(std::string copy, Done done);
  // Hands back every remaining result, waiting for each.
  void Finish();

  // The threads a machine's package is compressed on: one per core, at most 8.
  static int ThreadsForThisMachine();

 private:
  struct Job {
    std::string copy;
    std::string out;
    std::string reason;
    Done done;
    bool started = false;
    bool finished = false;
    bool compressed = false;
  };

  void Work();
  // Ends the workers once their present compression is done.
  void Stop();
  // Calls done for the finished jobs at the front; the lock is released around each call.
  void HandBack(std::unique_lock<std::mutex>& lock, bool wait);

  Compress compress_;
  size_t inFlight_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Job>> jobs_;  // submission order
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace drovane
