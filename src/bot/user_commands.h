#pragma once
// The commands of the user list's menu. Each acts on the first selected user:
// it queues a server command on the normal ring, edits the access list as the
// bot's own account with the operator override, or shows what the bot knows.
#include <cstddef>
#include <string>

namespace tolvik {

class ChatBot;

// In menu order.
enum class UserCommand {
  ShowAliases,
  AddAlias,
  WhoIs,
  Stats,
  IdleTime,
  ShowUserLevel,
  AddToUserList,
  Promote,
  Demote,
  DeleteFromList,
  Squelch,
  UnSquelch,
  Kick,
  Ban,
  Designate,
  PermanentHighlight,
  StopHighlighting,
};

class UserCommands {
 public:
  // Names are read from the list cut to this many characters ("Idle Time" reads 29).
  static constexpr size_t kNameLength = 19;
  static constexpr size_t kLongNameLength = 29;
  // The product code in "/stats": the tag without its first character, at most 4.
  static constexpr size_t kProductCodeLength = 4;

  explicit UserCommands(ChatBot& bot) : bot_(bot) {}

  // The first selected user's name cut to `length`; "" with nobody selected.
  std::string Target(size_t length = kNameLength) const;
  // Kick, Ban and Designate need the bot's operator status; the rest are always there.
  bool Available(UserCommand command) const;
  // Runs a command on the target. AddAlias and PermanentHighlight need the
  // front-end's dialogs and do nothing here.
  void Run(UserCommand command);

  // "Add Alias": records `name` under the id of `known`, which must already be
  // in the alias database; otherwise says so in the chat display.
  void AddAlias(const std::string& name, const std::string& known);

  // "STAR" from "[STAR]": the tag with its first character dropped, cut to 4.
  static std::string ProductCode(const std::string& tag);

 private:
  // The access-list commands; all but DeleteFromList then refresh the target's level icon.
  void EditAccess(UserCommand command, const std::string& name);

  ChatBot& bot_;
};

}  // namespace tolvik
