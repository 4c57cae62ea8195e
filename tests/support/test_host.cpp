#include "support/test_host.h"

#include <poll.h>

#include "app/document.h"

namespace tolvik::testing {

void TestHost::PostToMain(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(fn));
  }
  cv_.notify_all();
}

bool TestHost::AskForLoginValue(const std::string& key, std::string& value) {
  asked.push_back(key);
  auto it = answers.find(key);
  if (it == answers.end()) return false;
  value = it->second;
  return true;
}

void TestHost::Pump(CHaldenDoc& doc, int wait_ms) {
  std::vector<std::function<void()>> run;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (posted_.empty() && fd_ < 0) cv_.wait_for(lock, std::chrono::milliseconds(wait_ms));
    run.swap(posted_);
  }
  for (auto& fn : run) fn();
  // A read that stopped at its bound is taken up again like a readable socket.
  if (fd_ >= 0 && doc.ReadPending()) {
    doc.OnSocketEvent(SocketEvent::Readable);
    return;
  }
  if (fd_ >= 0) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, wait_ms) > 0) {
      if (p.revents & POLLIN)
        doc.OnSocketEvent(SocketEvent::Readable);
      else
        doc.OnSocketEvent(SocketEvent::Closed);
    }
  }
}

bool TestHost::RunUntil(CHaldenDoc& doc, const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Pump(doc, 10);
  }
  return true;
}

void TestHost::RunFor(CHaldenDoc& doc, std::chrono::milliseconds duration) {
  auto deadline = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < deadline) Pump(doc, 10);
}

}  // namespace tolvik::testing
