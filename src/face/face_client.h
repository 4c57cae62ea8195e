#pragma once
// A face's side of the connection: the WebSocket to the bot, the hello, and
// a mirror of the bot's state that the messages keep current. Chat lines go
// into a ChatDisplay, so a face shows them as a bot's own front-end does.
//
// Single-threaded: the face's loop polls Fd() (for writing too while
// WantsWrite()) and calls Pump(); actions are sent at once.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/text_format.h"
#include "face/face_stream.h"

namespace tolvik {

class ChatDisplay;

struct FaceUser {
  std::string name;
  uint32_t flags = 0;
  std::string product;
  int level = 0;
  int icon = 0;
  bool operator==(const FaceUser&) const = default;
};

// The bot's state as the face last heard it.
class FaceMirror {
 public:
  explicit FaceMirror(ChatDisplay& display) : display_(display) {}

  ChatDisplay& Display() { return display_; }
  int State() const { return state_; }
  const std::string& Status() const { return status_; }
  const std::string& BotName() const { return bot_; }
  const std::string& Directory() const { return dir_; }
  const std::string& Channel() const { return channel_; }
  const std::vector<FaceUser>& Users() const { return users_; }
  const std::map<std::string, bool>& Toggles() const { return toggles_; }
  int Gauge() const { return gauge_; }
  int GaugeMaximum() const { return gauge_max_; }

  // Told after the mirror changed (each may be left empty).
  std::function<void()> on_snapshot;
  std::function<void()> on_status;
  std::function<void()> on_users;
  std::function<void()> on_toggles;
  std::function<void()> on_gauge;
  // The bot's answer to a `command`, and a refusal of something sent.
  std::function<void(const std::vector<std::string>& lines)> on_reply;
  std::function<void(const std::string& code, const std::string& message)> on_error;

 private:
  friend class FaceClient;
  ChatDisplay& display_;
  int state_ = 0;
  std::string status_;
  std::string bot_;
  std::string dir_;
  std::string channel_;
  std::vector<FaceUser> users_;
  std::map<std::string, bool> toggles_;
  int gauge_ = 0;
  int gauge_max_ = 199;
};

class FaceClient {
 public:
  static constexpr int kProtocolVersion = 1;
  // The longest message taken from the bot (the snapshot is the largest).
  static constexpr uint64_t kMaxMessage = 8u << 20;

  explicit FaceClient(FaceMirror& mirror);
  ~FaceClient();
  FaceClient(const FaceClient&) = delete;
  FaceClient& operator=(const FaceClient&) = delete;

  // Opens the WebSocket over `stream` (`host` goes in the Host header) and
  // says hello, with `password` when given. Waits at most `timeout_ms` for
  // the upgrade's answer; the snapshot then arrives through Pump(). False,
  // with `error` set, when the bot refused or did not answer.
  bool Open(std::unique_ptr<FaceStream> stream, const std::string& host, const std::optional<std::string>& password,
            int timeout_ms, std::string* error);

  int Fd() const;
  bool WantsWrite() const;
  // Reads what has come and applies it to the mirror. False once the
  // connection is over; CloseReason() then says why in words for the user.
  bool Pump();
  // The snapshot has arrived.
  bool Attached() const { return attached_; }
  bool Open() const { return stream_ != nullptr && !over_; }
  const std::string& CloseReason() const { return close_reason_; }
  // Detaches: the bot carries on.
  void Close();

  // ---- What a person does ----
  bool Say(std::string_view text);
  bool Whisper(std::string_view names, std::string_view text);
  bool UserWhisper(std::string_view name, std::string_view text);
  // A user-list menu command by its name ("Kick", "Ban", "Promote", ...).
  bool UserCommand(std::string_view command, std::string_view name);
  bool AddAlias(std::string_view name, std::string_view known);
  bool Highlight(std::string_view name, const TextFormat& format);
  bool SetToggle(std::string_view key, bool on);
  bool Connect();
  bool Disconnect();
  // A local command line ("//level Kick 5"); the answer comes to on_reply.
  bool Command(std::string_view line);

  // Sends one message as it is (tests send what a broken face would).
  bool SendRaw(std::string_view message);

 private:
  class Impl;
  void Handle(std::string_view message);
  void Fail(const std::string& reason);

  FaceMirror& mirror_;
  std::unique_ptr<FaceStream> stream_;
  std::unique_ptr<Impl> impl_;
  bool attached_ = false;
  bool over_ = false;
  std::string close_reason_;
};

}  // namespace tolvik
