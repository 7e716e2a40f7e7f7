#pragma once
// The client's one diagnostic log: writers on any thread append whole lines to memory, a flusher
// thread moves the pending text to a dated file once a second.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace drovane {

class FileLog {
 public:
  FileLog() = default;
  ~FileLog();
  FileLog(const FileLog&) = delete;
  FileLog& operator=(const FileLog&) = delete;

  // A folder path (ending in a backslash) gets the dated file name appended; any other path is
  // used as it is. The first call starts the flusher.
  void SetLogFile(const std::string& path);
  std::string Path() const;

  // Appends text as one piece: concurrent writers never interleave inside it.
  void Write(const std::string& text);

  // Moves the pending text to the file now; false when the file could not be opened (the text
  // then stays pending). The flusher calls this once a second.
  bool Flush();

  // Text written but not yet in the file.
  std::string Pending() const;

  // The most text kept while the log file cannot be written; past it the oldest lines go.
  static constexpr size_t kPendingLimit = 1024 * 1024;

 private:
  void FlusherLoop();

  mutable std::mutex mutex_;  // guards pending_ and path_
  std::string pending_;
  std::string path_;
  size_t droppedBytes_ = 0;  // dropped while the file could not be written
  std::atomic<bool> running_{false};
  std::mutex wakeMutex_;
  std::condition_variable wake_;  // ends the flusher's wait at exit
  std::thread flusher_;
  std::mutex flushMutex_;  // one flush at a time keeps the file's order
};

// The process-wide log.
FileLog& Log();

// "[hh:mm:ss] " of the current local time.
std::string LogTimePrefix();
// "yyyy-mm-dd_hh-mm-ss.txt" of the current local time.
std::string DatedLogFileName();

// Builds one log line and hands it to the log whole when it goes out of scope:
//   LogLine() << "Creating " << name << ".";
// The time prefix comes first unless the line is made with LogLine::Plain, and a line feed ends it.
// A leading tab (HttpClient and updater lines) comes before the prefix: LogLine(LogLine::Tab).
class LogLine {
 public:
  enum Kind { Timed, Plain, Tab };
  explicit LogLine(Kind kind = Timed);
  ~LogLine();
  LogLine(const LogLine&) = delete;
  LogLine& operator=(const LogLine&) = delete;

  template <typename T>
  LogLine& operator<<(const T& piece) {
    text_ << piece;
    return *this;
  }

 private:
  std::ostringstream text_;
};

}  // namespace drovane
