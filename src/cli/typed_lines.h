#pragma once
// What a line typed in the terminal program does: "//" lines are the
// program's own commands, anything else goes to the channel as from the
// chat bar, once the bot is connected.
#include <string>

namespace tolvik {

class CHaldenDoc;
class ChatBar;
class CliHost;
class ConsoleOutput;

class TypedLines {
 public:
  TypedLines(CHaldenDoc& doc, ChatBar& chat_bar, CliHost& host, ConsoleOutput& out)
      : doc_(doc), chat_bar_(chat_bar), host_(host), out_(out) {}

  void Run(const std::string& line);

  // The text of //help.
  static const char* Help();

 private:
  void SwitchToggle(std::string name);
  void ShowModLog(std::string arg);

  CHaldenDoc& doc_;
  ChatBar& chat_bar_;
  CliHost& host_;
  ConsoleOutput& out_;
};

// The status line printed for a status text: "-- Status: TEXT", without the
// ':' left dangling when the text names no server.
std::string StatusLine(const std::string& status_text);

}  // namespace tolvik
