#pragma once
// A Host for tests: the test thread is the main thread and pumps posted
// closures and socket events itself with RunUntil().
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/host.h"

namespace tolvik {
class CHaldenDoc;
}

namespace tolvik::testing {

using namespace std::chrono_literals;

class TestHost : public Host {
 public:
  void PostToMain(std::function<void()> fn) override;
  void SocketChanged(int fd) override { fd_ = fd; }
  void StatusChanged(int state, const std::string& text) override {
    states.push_back(state);
    status_texts.push_back(text);
  }
  void StatusRefreshed(int, const std::string& text) override { refreshed_texts.push_back(text); }
  bool AskForLoginValue(const std::string& key, std::string& value) override;
  // Counts page alarms (called on the bot's alarm workers).
  void PageAlarm() override { pages.fetch_add(1); }
  void OpenUserWhisperBar(const std::string& name) override { whisper_bars.push_back(name); }
  void Beep() override { beeps.fetch_add(1); }

  // Runs posted closures and hands socket readiness to the document until
  // `done` holds or the time runs out; returns `done()`.
  bool RunUntil(CHaldenDoc& doc, const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s);
  // Keeps pumping for a while (to see that nothing more happens).
  void RunFor(CHaldenDoc& doc, std::chrono::milliseconds duration);

  std::vector<int> states;
  std::vector<std::string> status_texts;
  std::vector<std::string> refreshed_texts;  // countdown updates
  std::vector<std::string> asked;
  std::map<std::string, std::string> answers;  // what AskForLoginValue answers, by key
  std::atomic<int> pages{0};
  std::atomic<int> beeps{0};
  std::vector<std::string> whisper_bars;       // users whose whisper bar was opened

 private:
  void Pump(CHaldenDoc& doc, int wait_ms);
  int fd_ = -1;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::function<void()>> posted_;
};

}  // namespace tolvik::testing
