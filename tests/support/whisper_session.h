#pragma once
// A logged-in session in which users whisper the bot: each exchange sends one
// whisper event through the gateway and returns exactly the bytes the bot
// sent back because of it.
#include <string>

#include "support/session_fixture.h"

namespace tolvik::testing {

class WhisperSession : public SessionTest {
 protected:
  // Bot.ini with `sections`, users.lst (when given), login up to the channel.
  void Start(const std::string& sections, const std::string& users = "") {
    WriteBotIni(sections);
    if (!users.empty()) dir.write("users.lst", users);
    Open();
    LogIn();
    ASSERT_TRUE(WaitSent("/time\n"));  // the join message
  }

  // Sends the whisper and pumps until the bot has handled it (its first
  // display line: the command notice or the plain whisper).
  void Whisper(const std::string& from, const std::string& text) {
    const size_t shown = display.texts().size();
    gateway.send("1004 WHISPER " + from + " 0010 \"" + text + "\"\r\n");
    const std::string command = "Command from " + from + ": ";
    const std::string plain = "<From: " + from + "> ";
    ASSERT_TRUE(Run([&] {
      const auto texts = display.texts();
      for (size_t i = shown; i < texts.size(); ++i)
        if (texts[i].rfind(command, 0) == 0 || texts[i].rfind(plain, 0) == 0) return true;
      return false;
    })) << text;
  }

  // Whispers and returns what the bot sent because of it. A marker line queued
  // after the handler ran comes out behind everything the handler queued.
  std::string Exchange(const std::string& from, const std::string& text) {
    const size_t start = gateway.received().size();
    Whisper(from, text);
    const std::string marker = "marker " + std::to_string(++markers_) + "\n";
    doc->Bot().Queue().Say("%s", marker.c_str());
    EXPECT_TRUE(WaitSent(marker));
    const std::string all = gateway.received();
    const size_t end = all.find(marker, start);
    return end == std::string::npos ? all.substr(start) : all.substr(start, end - start);
  }

  ChatBot& Bot() { return doc->Bot(); }

 private:
  int markers_ = 0;
};

}  // namespace tolvik::testing
