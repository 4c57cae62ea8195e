// Feeds arbitrary server bytes to a whole bot: the document in a scratch
// working directory with a users.lst, an autoban.lst and response tables,
// every handler reachable. Nothing may crash, hang or read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/chat_display.h"
#include "app/document.h"
#include "app/host.h"
#include "bot/chat_bot.h"

namespace {

class NullDisplay : public tolvik::ChatDisplay {
 public:
  void append(const char* text, const tolvik::TextFormat&) override {
    if (std::char_traits<char>::length(text) > 511) std::abort();
  }
};

class LoopHost : public tolvik::Host {
 public:
  // The sender thread posts; the fuzz loop runs what was posted.
  void PostToMain(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(mutex);
    posted.push_back(std::move(fn));
  }
  void SocketChanged(int) override {}
  void StatusChanged(int, const std::string&) override {}
  bool AskForLoginValue(const std::string&, std::string&) override { return false; }
  void RunPosted() {
    std::vector<std::function<void()>> run;
    {
      std::lock_guard<std::mutex> lock(mutex);
      run.swap(posted);
    }
    for (auto& fn : run) fn();
  }
  std::mutex mutex;
  std::vector<std::function<void()>> posted;
};

void Write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct Bot {
  Bot() {
    char tmpl[] = "/tmp/tolvik-fuzz-bot-XXXXXX";
    dir = mkdtemp(tmpl);
    Write(dir / "Bot.ini",
          "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=127.0.0.1:1\r\nChannel=Home\r\n"
          "[Toggles]\r\nIdLogging=1\r\nViewEnterLeave=1\r\nViewText=1\r\nViewPings=1\r\n"
          "[Restrictions]\r\nNumBots=1\r\nNumSC=2\r\n[AutoDesignate]\r\nDesignate0=heir\r\n"
          "[Security]\r\nChannelPassword=secret\r\n[AutoGreet]\r\n*=Welcome\r\n"
          "[AutoRespond]\r\n*=hi:hello::there:bye:see you\r\n*b*=x:y\r\n");
    Write(dir / "users.lst", "[Level1]\r\nguest\r\n\r\n[Level5]\r\nmod\r\n\r\n[Level9]\r\nacct\r\nboss\r\n");
    Write(dir / "autoban.lst", "spammer, troll\r\n");
    doc = std::make_unique<tolvik::CHaldenDoc>(dir.string(), display, host);
    doc->Bot().Queue().SetPause([](int) {});
  }
  std::filesystem::path dir;
  NullDisplay display;
  LoopHost host;
  std::unique_ptr<tolvik::CHaldenDoc> doc;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Bot* bot = new Bot();  // one bot for the whole run, like the real program
  tolvik::ChatBot& b = bot->doc->Bot();
  b.SetOperator(size > 0 && (data[0] & 1));
  b.ProcessBytes(reinterpret_cast<const char*>(data), size);
  b.ProcessBytes("\n", 1);
  bot->doc->OnFastTick();
  bot->host.RunPosted();
  // Keep users.lst from growing without bound across inputs.
  Write(bot->dir / "users.lst", "[Level1]\r\nguest\r\n\r\n[Level5]\r\nmod\r\n\r\n[Level9]\r\nacct\r\nboss\r\n");
  return 0;
}
