#pragma once
// A whole session of the document against the scripted gateway: a temporary
// working directory with Bot.ini (and whatever else a test writes), a real
// CHaldenDoc with its bot, a recording display, and a test host whose
// RunUntil() pumps the main-thread work. Tests reach the bot with doc->Bot().
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/document.h"
#include "bot/chat_bot.h"
#include "support/quick_timings.h"
#include "support/recording_display.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "support/test_host.h"

namespace tolvik::testing {

using namespace std::chrono_literals;

class SessionTest : public ::testing::Test {
 protected:
  // Scripts return the process to the bot's working directory; put it back.
  ~SessionTest() override {
    doc.reset();
    std::filesystem::current_path(start_dir_);
  }

  // Writes Bot.ini (CR LF lines) with the login values and `extra` sections.
  void WriteBotIni(const std::string& extra = "") {
    std::string ini = "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + gateway.address() +
                      "\r\nChannel=Home\r\n" + extra;
    dir.write("Bot.ini", ini);
  }
  void Open() {
    doc = std::make_unique<CHaldenDoc>(dir.path().string(), display, host);
    doc->SetReconnectTimings(QuickReconnectTimings());
    doc->Bot().Queue().SetPause([](int) {});
  }
  // Waits return as soon as the event happens; the limit only allows for a
  // loaded machine.
  bool Run(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
    return host.RunUntil(*doc, done, timeout);
  }
  bool WaitSent(const std::string& text) {
    return Run([&] { return gateway.received().find(text) != std::string::npos; });
  }
  bool WaitShown(const std::string& text, std::chrono::milliseconds timeout = 30s) {
    return Run([&] { return display.contains(text); }, timeout);
  }
  // Connects and plays the login dialogue up to the channel entry (Home).
  void LogIn() {
    doc->Connect();
    ASSERT_TRUE(gateway.waitForClients(1));
    ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
    gateway.send("Username: Password: \r\nPlease enter your name and password.\r\n");
    ASSERT_TRUE(WaitSent("acct\r\nsecret\r\n"));
    gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n");
    ASSERT_TRUE(Run([&] { return doc->State() == Connected && display.contains("Joining Channel: Home"); }));
  }
  int Count(const std::string& text) const {
    std::string all = gateway.received();
    int n = 0;
    for (size_t p = all.find(text); p != std::string::npos; p = all.find(text, p + 1)) ++n;
    return n;
  }

  ScriptedGateway gateway;
  TempDir dir;
  RecordingDisplay display;
  TestHost host;
  std::unique_ptr<CHaldenDoc> doc;

 private:
  std::filesystem::path start_dir_ = std::filesystem::current_path();
};

}  // namespace tolvik::testing
