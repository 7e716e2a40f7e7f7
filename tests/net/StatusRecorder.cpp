#include "StatusRecorder.h"

#include <algorithm>

#include "ScriptedServer.h"

namespace drovane::test {

void StatusRecorder::Attach(HttpClient& client) {
  client.statusCallback = &StatusRecorder::Callback;
  client.callbackData = this;
}

void StatusRecorder::Callback(HttpClient* client, void* data) {
  auto* self = static_cast<StatusRecorder*>(data);
  const HttpStatus status = client->GetStatus();
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->notices_.push_back(Notice{status, std::this_thread::get_id()});
  }
  self->changed_.notify_all();
  if (self->onNotice) self->onNotice(*client, status);
}

bool StatusRecorder::WaitFor(HttpStatus status, std::size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kWaitLimit, [&] {
    return static_cast<std::size_t>(
               std::count_if(notices_.begin(), notices_.end(),
                             [&](const Notice& n) { return n.status == status; })) >= count;
  });
}

std::vector<HttpStatus> StatusRecorder::Statuses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<HttpStatus> statuses;
  for (const Notice& notice : notices_) statuses.push_back(notice.status);
  return statuses;
}

std::vector<StatusRecorder::Notice> StatusRecorder::Notices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notices_;
}

std::size_t StatusRecorder::Count(HttpStatus status) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::size_t>(std::count_if(
      notices_.begin(), notices_.end(), [&](const Notice& n) { return n.status == status; }));
}

}  // namespace drovane::test
