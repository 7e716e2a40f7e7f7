#include "base/FileLog.h"

#include <chrono>
#include <ctime>

#include <boost/format.hpp>

#include "base/DataFile.h"

namespace drovane {
namespace {

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

}  // namespace

FileLog::~FileLog() {
  if (running_.exchange(false)) {
    { std::lock_guard<std::mutex> lock(wakeMutex_); }
    wake_.notify_all();
    if (flusher_.joinable()) flusher_.join();
  }
  // Anything written after the flusher's last pass (or without a flusher) still goes out.
  if (!path_.empty()) Flush();
}

void FileLog::SetLogFile(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = !path.empty() && path.back() == '\\' ? path + DatedLogFileName() : path;
  }
  if (!running_.exchange(true)) flusher_ = std::thread(&FileLog::FlusherLoop, this);
}

std::string FileLog::Path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

void FileLog::Write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_ += text;
}

std::string FileLog::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_;
}

bool FileLog::Flush() {
  std::lock_guard<std::mutex> flushLock(flushMutex_);
  std::string text, path;
  {
    // Taking the text and emptying the buffer is one step for the writers.
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.empty()) return true;
    text.swap(pending_);
    path = path_;
  }
  DataFile file;
  if (!path.empty() && file.Open(path, FileMode::Append | FileMode::CreateDirs)) {
    file.Write(text);
    file.Close();
    return true;
  }
  // Not written: put the text back in front of whatever arrived meanwhile.
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.insert(0, text);
  // A file that stays unopenable must not let the text grow for as long as the client runs:
  // the oldest whole lines go, and a line says how much.
  if (pending_.size() > kPendingLimit) {
    size_t cut = pending_.size() - kPendingLimit / 2;
    const size_t lineEnd = pending_.find('\n', cut);
    cut = lineEnd == std::string::npos ? pending_.size() : lineEnd + 1;
    droppedBytes_ += cut;
    pending_.erase(0, cut);
    pending_.insert(0, LogTimePrefix() +
                           "The log file could not be written: " + std::to_string(droppedBytes_) +
                           " bytes of earlier lines were dropped.\n");
  }
  return false;
}

void FileLog::FlusherLoop() {
  // A pass every second; at exit the wait ends early and one last pass writes what is pending.
  do {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(1000), [this] { return !running_; });
    lock.unlock();
    Flush();
  } while (running_);
}

FileLog& Log() {
  static FileLog log;
  return log;
}

std::string LogTimePrefix() {
  const std::tm t = LocalNow();
  return (boost::format("[%02d:%02d:%02d] ") % t.tm_hour % t.tm_min % t.tm_sec).str();
}

std::string DatedLogFileName() {
  const std::tm t = LocalNow();
  return (boost::format("%d-%02d-%02d_%02d-%02d-%02d.txt") % (t.tm_year + 1900) % (t.tm_mon + 1) %
          t.tm_mday % t.tm_hour % t.tm_min % t.tm_sec)
      .str();
}

LogLine::LogLine(Kind kind) {
  if (kind == Tab) text_ << '\t';
  if (kind != Plain) text_ << LogTimePrefix();
}

LogLine::~LogLine() {
  text_ << '\n';
  Log().Write(text_.str());
}

}  // namespace drovane
