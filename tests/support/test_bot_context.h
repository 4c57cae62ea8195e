#pragma once
// A BotContext for tests: a real OutgoingQueue (never started, so queued lines
// stay inspectable) over an unconnected ChatConnection, a RecordingDisplay
// whose type records are told apart, settable [Commands] levels and channels,
// and a record of the level changes told to the user list.
#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bot/bot_context.h"
#include "bot/read_word.h"
#include "net/chat_connection.h"
#include "net/outgoing_queue.h"
#include "support/recording_display.h"

namespace tolvik::testing {

class TestBotContext : public BotContext {
 public:
  explicit TestBotContext(std::string working_dir, const char* own_name = "TolvikBot")
      : working_dir_(std::move(working_dir)), queue_(connection_, &display_) {
    connection_.SetLoginInfo(own_name, "", "", ChatConnection::kDefaultPort);
    // Colour k for type k, so every shown line says which type it was printed as.
    TextFormats formats{};
    for (int i = 0; i < kTextTypeCount; ++i) formats[i].colour = static_cast<uint32_t>(i + 1);
    display_.setFormats(formats);
  }

  OutgoingQueue& Queue() override { return queue_; }
  ChatDisplay& Display() override { return display_; }
  const char* OwnName() const override { return connection_.OwnName(); }
  const char* CurrentChannel() const override { return current_channel_.c_str(); }
  const char* HomeChannel() const override { return home_channel_.c_str(); }
  int CommandLevel(const char* key) const override {
    for (const auto& [k, level] : command_levels_)
      if (SameName(k, key)) return level;
    return -1;
  }
  void UserLevelChanged(const char* name, int level) override { level_changes.emplace_back(name, level); }
  const std::string& WorkingDir() const override { return working_dir_; }

  void SetCommandLevel(const std::string& key, int level) { command_levels_[key] = level; }
  void SetChannels(std::string current, std::string home) {
    current_channel_ = std::move(current);
    home_channel_ = std::move(home);
  }

  RecordingDisplay& display() { return display_; }
  ChatConnection& connection() { return connection_; }
  // Lines queued for the server (normal ring) since the last Clear(), oldest
  // first. The ring holds 49 lines; a test that queues more loses the newest.
  std::vector<std::string> Sent() const {
    std::vector<std::string> lines = queue_.PeekWaiting(OutgoingQueue::kNormal);
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(skip_sent_, lines.size())));
    return lines;
  }
  // Texts shown as `type`, in order.
  std::vector<std::string> Shown(TextType type) const {
    std::vector<std::string> out;
    for (const auto& line : display_.lines())
      if (line.format.colour == static_cast<uint32_t>(TextTypeIndex(type) + 1)) out.push_back(line.text);
    return out;
  }
  // Forgets what was sent, shown and told so far.
  // The queue has no clear operation (it is never started here), so the
  // lines already waiting are skipped by Sent() from now on.
  void Clear() {
    skip_sent_ = queue_.PeekWaiting(OutgoingQueue::kNormal).size();
    display_.clear();
    level_changes.clear();
  }

  std::vector<std::pair<std::string, int>> level_changes;

 private:
  std::string working_dir_;
  RecordingDisplay display_;
  ChatConnection connection_;
  OutgoingQueue queue_;
  std::map<std::string, int> command_levels_;
  std::string current_channel_ = "Tolvik";
  std::string home_channel_ = "Tolvik";
  size_t skip_sent_ = 0;
};

}  // namespace tolvik::testing
