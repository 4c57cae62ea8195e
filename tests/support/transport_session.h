#pragma once
// Whole sessions of the document over either transport: the scripted text
// gateway or the loopback chat API server, chosen by the test's parameter.
// The channel is played and what the bot sends is checked through one set of
// helpers, so a test says what happens ("alice joins", "a kick of alice went
// out") and runs the same way against both. A test that only makes sense
// for one transport checks Api() or is instantiated for that one alone.
//
// Every session: Login=acct, the server names the bot TolvikBot, channel Home
// with the bot as operator and alice, boss and low present.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/document.h"
#include "bot/chat_bot.h"
#include "support/api_test_server.h"
#include "support/quick_timings.h"
#include "support/recording_display.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "support/test_host.h"

namespace tolvik::testing {

using namespace std::chrono_literals;

enum class Wire { kText, kApi };

inline std::string WireName(const ::testing::TestParamInfo<Wire>& info) {
  return info.param == Wire::kText ? "Text" : "Api";
}

// Chat API messages as the server sends them.
namespace api_msg {
inline std::string Update(int id, const std::string& name, const std::string& flags = "[]") {
  return R"({"command":"Botapichat.UserUpdateEventRequest","request_id":0,"payload":{"user_id":)" +
         std::to_string(id) + R"(,"toon_name":")" + name + R"(","flag":)" + flags +
         R"(,"attribute":[{"key":"ProgramId","value":"W2BN"}]}})";
}
inline std::string Say(int id, const std::string& type, const std::string& text) {
  return R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":)" + std::to_string(id) +
         R"(,"message":")" + text + R"(","type":")" + type + R"("}})";
}
inline std::string Leave(int id) {
  return R"({"command":"Botapichat.UserLeaveEventRequest","payload":{"user_id":)" + std::to_string(id) + "}}";
}
// The request id of a recorded request.
inline int64_t IdOf(const std::string& request) {
  size_t p = request.find("\"request_id\":");
  return p == std::string::npos ? -1 : std::stoll(request.substr(p + 13));
}
}  // namespace api_msg

// What the bot sends, named the same for both transports.
enum class Out { kChat, kWhisper, kKick, kBan, kUnban, kDesignate };

class TransportSessionTest : public ::testing::TestWithParam<Wire> {
 protected:
  TransportSessionTest() {
    if (!Api()) {
      gateway.emplace();
      return;
    }
    api_server.emplace();
    api_server->setChannelScript({api_msg::Update(1, "TolvikBot", R"(["Moderator"])"),
                                  R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Home"}})",
                                  api_msg::Update(2, "alice"), api_msg::Update(3, "boss"),
                                  api_msg::Update(4, "low")});
    ids_ = {{"TolvikBot", 1}, {"alice", 2}, {"boss", 3}, {"low", 4}};
  }
  ~TransportSessionTest() override {
    doc.reset();
    std::filesystem::current_path(start_dir_);
  }

  bool Api() const { return GetParam() == Wire::kApi; }
  std::string ServerValue() const { return Api() ? api_server->url() : gateway->address(); }
  // The secret each server accepts.
  std::string GoodSecret() const { return Api() ? "good-key" : "secret"; }

  // Bot.ini with the login values (the secret left out when `with_secret` is
  // false) and `extra` sections.
  void WriteBotIni(const std::string& extra = "", bool with_secret = true) {
    std::string ini = "[Init]\r\nLogin=acct\r\n";
    if (with_secret) ini += "Password=" + GoodSecret() + "\r\n";
    ini += "Server=" + ServerValue() + "\r\nChannel=Home\r\n";
    if (Api()) ini += "CAFile=" + GetTestCa().ca_file + "\r\n";
    dir.write("Bot.ini", ini + extra);
  }
  void Open() {
    doc = std::make_unique<CHaldenDoc>(dir.path().string(), display, host);
    doc->SetReconnectTimings(QuickReconnectTimings());
    doc->Bot().Queue().SetPause([](int) {});
  }
  bool Run(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
    return host.RunUntil(*doc, done, timeout);
  }
  bool WaitShown(const std::string& text, std::chrono::milliseconds timeout = 30s) {
    return Run([&] { return display.contains(text); }, timeout);
  }
  int Shown(const std::string& text) const {
    int n = 0;
    for (const std::string& t : display.texts()) n += t.find(text) != std::string::npos;
    return n;
  }

  // ---- The server side

  int Clients() const { return Api() ? api_server->clientCount() : gateway->clientCount(); }
  // Ends the newest connection from the server's side, without a goodbye.
  void Drop() {
    if (Api())
      api_server->dropClient();
    else
      gateway->closeClient();
  }
  // The newest connection was closed by the bot.
  bool WaitClientGone() { return Api() ? api_server->waitForClientGone() : gateway->waitForClientClose(); }

  // Connects and plays the login up to the home channel with its users.
  void LogIn() {
    doc->Connect();
    PlayLogin(1);
  }
  // Plays the login on connection number `n` (1 = first), once the bot has
  // made it; the listing of the channel is over afterwards.
  void PlayLogin(int n) {
    if (!Api()) {
      ASSERT_TRUE(Run([&] { return Clients() == n && doc->State() == WaitingForLoginPrompt; }));
      gateway->send("Username: Password: \r\nPlease enter your name and password.\r\n");
      ASSERT_TRUE(Run([&] { return gateway->received(n - 1).find("acct\r\nsecret\r\n") != std::string::npos; }));
      gateway->send("2010 NAME TolvikBot\r\n1007 CHANNEL \"Home\"\r\n1001 USER TolvikBot 0012 [CHAT]\r\n"
                    "1001 USER alice 0000 [W2BN]\r\n1001 USER boss 0000 [W2BN]\r\n1001 USER low 0000 [W2BN]\r\n");
    }
    ASSERT_TRUE(Run([&] { return Clients() == n && doc->State() == Connected; }))
        << "clients " << Clients() << ", states " << ::testing::PrintToString(host.states) << ", shown "
        << ::testing::PrintToString(display.texts());
    ASSERT_TRUE(Run([&] { return display.contains("Joining Channel: Home") && doc->Bot().Users().findUser("low") >= 0; }));
    // Over the API a listing ends at the first other event.
    if (Api()) Talk("alice", "hi all");
  }

  void Join(const std::string& name) {
    if (!Api()) return Play("1002 JOIN " + name + " 0000 [W2BN]");
    if (ids_.find(name) == ids_.end()) ids_[name] = static_cast<int>(ids_.size()) + 1;
    api_server->send(api_msg::Update(ids_[name], name));
  }
  void Leave(const std::string& name) {
    if (!Api()) return Play("1003 LEAVE " + name + " 0000");
    api_server->send(api_msg::Leave(ids_[name]));
  }
  void Talk(const std::string& name, const std::string& text) {
    if (!Api()) return Play("1005 TALK " + name + " 0000 \"" + text + "\"");
    api_server->send(api_msg::Say(ids_[name], "Channel", text));
  }
  // A line of information from the server.
  void Info(const std::string& text) {
    if (!Api()) return Play("1018 INFO \"" + text + "\"");
    api_server->send(api_msg::Say(0, "ServerInfo", text));
  }
  void Whisper(const std::string& name, const std::string& text) {
    if (!Api()) return Play("1004 WHISPER " + name + " 0000 \"" + text + "\"");
    api_server->send(api_msg::Say(ids_[name], "Whisper", text));
  }

  // ---- What the bot sent, in the transport's own form

  // Whether the newest connection has carried `what` (for a whisper, to
  // `name`; for a kick or a ban, of `name`), counted.
  int CountSent(Out what, const std::string& name, const std::string& text = "") const {
    int n = 0;
    for (const std::string& m : Sent()) n += Matches(m, what, name, text);
    return n;
  }
  // Pumps the document until it is sent; returns the line or the request.
  std::string WaitSent(Out what, const std::string& name, const std::string& text = "") {
    std::string found;
    Run([&] {
      for (const std::string& m : Sent())
        if (Matches(m, what, name, text)) found = m;
      return !found.empty();
    });
    return found;
  }
  std::string WaitSentChat(const std::string& text) { return WaitSent(Out::kChat, "", text); }
  // What the newest connection carried from the bot: lines (LF removed, the
  // selector left out) or the chat API's messages.
  std::vector<std::string> Sent() const { return Api() ? api_server->received() : gateway->receivedLines(); }

  // The server confirms the kick, ban or designation of `name` that
  // `request` (from WaitSent) asked for.
  void Confirm(Out what, const std::string& name, const std::string& request) {
    if (Api()) {
      api_server->respond(what == Out::kKick    ? "Botapichat.KickUserRequest"
                          : what == Out::kBan   ? "Botapichat.BanUserRequest"
                          : what == Out::kUnban ? "Botapichat.UnbanUserRequest"
                                                : "Botapichat.SendSetModeratorRequest",
                          api_msg::IdOf(request));
      return;
    }
    const std::string by = std::string(doc->Bot().OwnName()) + ".";
    if (what == Out::kKick) Play("1018 INFO \"" + name + " was kicked out of the channel by " + by + "\"");
    if (what == Out::kBan) Play("1018 INFO \"" + name + " was banned by " + by + "\"");
    if (what == Out::kUnban) Play("1018 INFO \"" + name + " was unbanned by " + by + "\"");
    if (what == Out::kDesignate) Play("1018 INFO \"" + name + " is your new designated heir.\"");
  }

  std::optional<ScriptedGateway> gateway;
  std::optional<ApiTestServer> api_server;
  TempDir dir;
  RecordingDisplay display;
  TestHost host;
  std::unique_ptr<CHaldenDoc> doc;

 private:
  void Play(const std::string& line) { gateway->send(line + "\r\n"); }
  bool Matches(const std::string& m, Out what, const std::string& name, const std::string& text) const {
    if (!Api()) {
      switch (what) {
        case Out::kChat: return m == text;
        case Out::kWhisper: return m == "/msg " + name + " " + text;
        case Out::kKick: return m.rfind("/kick " + name, 0) == 0;
        case Out::kBan: return m.rfind("/ban " + name, 0) == 0;
        case Out::kUnban: return m == "/unban " + name;
        case Out::kDesignate: return m == "/designate " + name;
      }
      return false;
    }
    auto has = [&](const std::string& part) { return m.find(part) != std::string::npos; };
    auto id = ids_.find(name);
    const std::string user = id == ids_.end() ? "-" : R"("user_id":)" + std::to_string(id->second);
    switch (what) {
      case Out::kChat: return has("Botapichat.SendMessageRequest") && has(R"("message":")" + text + "\"");
      case Out::kWhisper:
        return has("Botapichat.SendWhisperRequest") && has(user) && has(R"("message":")" + text + "\"");
      case Out::kKick: return has("Botapichat.KickUserRequest") && has(user);
      case Out::kBan: return has("Botapichat.BanUserRequest") && has(user);
      case Out::kUnban: return has("Botapichat.UnbanUserRequest") && has(R"("toon_name":")" + name + "\"");
      case Out::kDesignate: return has("Botapichat.SendSetModeratorRequest") && has(user);
    }
    return false;
  }

  std::map<std::string, int> ids_;
  std::filesystem::path start_dir_ = std::filesystem::current_path();
};

}  // namespace tolvik::testing
