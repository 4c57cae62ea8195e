#pragma once
// What the moderation parts need from the bot that owns them. ChatBot
// implements it; tests implement it over a real queue and display.
#include <string>

namespace tolvik {

class ChatDisplay;
class OutgoingQueue;

class BotContext {
 public:
  virtual ~BotContext() = default;

  virtual OutgoingQueue& Queue() = 0;
  virtual ChatDisplay& Display() = 0;
  // The name the server knows the bot by.
  virtual const char* OwnName() const = 0;
  virtual const char* CurrentChannel() const = 0;
  virtual const char* HomeChannel() const = 0;
  // The [Commands] level of a command key ("Promote", "BanTagged", ...); -1 when not set.
  virtual int CommandLevel(const char* key) const = 0;
  // A name's level in users.lst changed; the user list shows the new level.
  virtual void UserLevelChanged(const char* name, int level) = 0;
  // The directory holding users.lst, autoban.lst, Bot.ini, script.ini (no trailing '/').
  virtual const std::string& WorkingDir() const = 0;
  // A kick, ban or unban was sent for `actor`; it goes to the moderation
  // record once the server answers it.
  virtual void RecordModeration(const char* actor, const char* action, const char* target, const char* reason) {
    (void)actor, (void)action, (void)target, (void)reason;
  }
};

}  // namespace tolvik
