#pragma once
// What the bot needs from the session that owns it: the switches, the
// connection state it learns from the server's lines, and the two things only
// a front-end can do for a command (a user's whisper bar, the page alarm).
// The document implements it; the bot never sees the document itself.
#include <string>

#include "settings/config.h"

namespace tolvik {

class BotOwner {
 public:
  virtual ~BotOwner() = default;

  virtual const Toggles& GetToggles() const = 0;
  // The server's lines moved the connection on (a `ConnectionState` value).
  virtual void SetState(int state) = 0;
  // The operator's "/direct name": opens that user's whisper bar.
  virtual void OpenUserWhisperBar(const std::string& name) = 0;
  // The operator page alarm. Called on a worker thread of its own; it should
  // end early once the program closes.
  virtual void PageAlarm() = 0;
};

}  // namespace tolvik
