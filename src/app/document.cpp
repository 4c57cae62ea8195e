#include "app/document.h"

#include <fcntl.h>
#include <unistd.h>

#include "app/chat_display.h"
#include "app/font_records.h"
#include "app/host.h"
#include "bot/chat_bot.h"
#include "net/api/api_url.h"

namespace tolvik {
namespace {

// An empty file reads exactly like a missing one, but settings can be written to it.
void CreateIfMissing(const std::string& path, mode_t mode) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd >= 0) ::close(fd);
}

}  // namespace

CHaldenDoc::CHaldenDoc(const std::string& workingDir, ChatDisplay& display, Host& host)
    : display_(display), host_(host), paths_(ConfigPaths::FromWorkingDirectory(workingDir)) {
  CreateIfMissing(paths_.botIni, 0600);  // it holds the account password
  CreateIfMissing(paths_.scriptIni, 0644);
  bot_ = std::make_unique<ChatBot>(*this, display_, paths_);

  login_ = LoadLoginSettings(paths_.botIni);
  bot_->SetHomeChannel(login_.channel.c_str());  // the unset marker when none is configured
  bot_->LoadBotSettings();
  bot_->LoadResponseTables();
  ApplyFonts();
  toggles_ = LoadToggles(paths_.botIni);
  bot_->CreateScriptInterpreter();
  status_server_ = IsUnset(login_.server) ? "" : login_.server;
  bot_->SetLoginInfo(login_.login.c_str(), login_.password.c_str(), login_.server.c_str(),
                     ChatConnection::kDefaultPort);

  OutgoingQueue::Hooks hooks;
  std::weak_ptr<bool> alive = alive_;
  hooks.notify_main = [this, alive] {
    host_.PostToMain([this, alive] {
      if (alive.lock()) DeliverSentLines();
    });
  };
  hooks.line_sent = [this] { anti_idle_count_ = 0; };
  hooks.own_talk_queued = [this] { bot_->Users().setIdle(bot_->OwnName(), false); };
  hooks.own_talk_typed = [this] { bot_->Users().touchUser(bot_->OwnName()); };
  bot_->Queue().SetHooks(std::move(hooks));
  bot_->Users().setLongProductAlert([this] { host_.Beep(); });
  bot_->Queue().Start();
}

CHaldenDoc::~CHaldenDoc() {
  alive_.reset();
  if (!closed_) Close();
  JoinWorker();
}

void CHaldenDoc::ApplyFonts() { display_.setFormats(LoadTextFormats(paths_.botIni)); }

void CHaldenDoc::Start() {
  if (login_.autoLogin) Connect();
}

void CHaldenDoc::SetState(int state) {
  if (state_.exchange(state) != state) host_.StatusChanged(state, StatusText());
}

std::string CHaldenDoc::StatusText() const { return tolvik::StatusText(state_.load(), status_server_); }

void CHaldenDoc::Connect() {
  struct Required {
    std::string LoginSettings::*field;
    const char* prompt;
    const char* key;
  };
  const Required required[] = {
      {&LoginSettings::password, "Please enter password", "Password"},
      {&LoginSettings::login, "Please enter Login Name", "Login"},
      {&LoginSettings::server, "Please Select a Server", "Server"},
  };
  for (Required r : required) {
    // A chat API server's secret is its API key, and it is asked for as one.
    if (r.field == &LoginSettings::password && api::IsApiServer(login_.server.c_str())) {
      r.prompt = "Please enter API key";
      r.key = "API key";
    }
    while (IsUnset(login_.*r.field)) {
      display_.print(TextType::BnetInfo, "%s", r.prompt);
      std::string value;
      if (!host_.AskForLoginValue(r.key, value)) return;
      // Kept to the [Init] limit like a stored value, so the credentials line
      // always fits the server's line with both its CR LF. A chat API address
      // and its key are longer, and travel in requests of their own.
      size_t limit = kLoginFieldLimit;
      if (r.key == std::string_view("Server")) limit = PasswordLimitFor(value);
      if (r.field == &LoginSettings::password) limit = PasswordLimitFor(login_.server);
      login_.*r.field = value.substr(0, limit);
    }
  }
  if (!IsIdleState(state_.load())) return;
  BeginConnecting(false);
}

void CHaldenDoc::BeginConnecting(bool after_reconnect_wait) {
  status_server_ = login_.server;
  SetState(Connecting);
  bot_->SetLoginInfo(login_.login.c_str(), login_.password.c_str(), login_.server.c_str(),
                     ChatConnection::kDefaultPort);
  bot_->SetCaFile(login_.caFile);
  StartConnectWorker(after_reconnect_wait);
}

unsigned CHaldenDoc::CancelWorker() {
  unsigned gen;
  {
    std::lock_guard<std::mutex> lock(worker_mutex_);
    gen = ++generation_;
  }
  worker_cv_.notify_all();  // a worker still waiting gives up
  bot_->CancelConnect();     // and so does a connect in progress
  return gen;
}

void CHaldenDoc::Disconnect() {
  if (IsIdleState(state_.load())) return;
  bot_->ClearUserList();
  status_server_ = IsUnset(login_.server) ? "" : login_.server;
  CancelWorker();
  bot_->CloseSocket();
  host_.SocketChanged(-1);
  SetState(NotConnected);
}

void CHaldenDoc::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void CHaldenDoc::StartConnectWorker(bool after_reconnect_wait) {
  const unsigned gen = CancelWorker();
  JoinWorker();

  // Waits that a Disconnect (or a newer worker) cuts short; true when cut.
  auto cancelled_wait = [this, gen](int ms) {
    std::unique_lock<std::mutex> lock(worker_mutex_);
    return worker_cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return generation_ != gen; });
  };
  bot_->SetRetryPause([cancelled_wait](int ms) { cancelled_wait(ms); });

  std::weak_ptr<bool> alive = alive_;
  const int delay = reconnect_delay_ms_;
  worker_ = std::thread([this, gen, after_reconnect_wait, cancelled_wait, alive, delay] {
    if (after_reconnect_wait && (cancelled_wait(delay) || state_.load() == NotConnected))
      return;
    if (generation_ != gen) return;
    bot_->CloseSocket();
    int result = bot_->ConnectWithRetries();
    host_.PostToMain([this, gen, result, alive] {
      if (!alive.lock()) return;
      if (generation_ != gen) {
        // Disconnected meanwhile: the new socket is not wanted.
        if (result == WaitingForLoginPrompt && state_.load() == NotConnected) bot_->CloseSocket();
        return;
      }
      if (result == WaitingForLoginPrompt) host_.SocketChanged(bot_->Socket());
      SetState(result);
    });
  });
}

void CHaldenDoc::OnSocketEvent(SocketEvent event) {
  if (event == SocketEvent::Readable) {
    bool ok = bot_->ReadAvailable();
    if (ok && !bot_->PeerClosed() && !bot_->WriteStalled()) return;
    if (ok) event = SocketEvent::Closed;  // read end of stream: the server closed
  }
  if (bot_->WriteStalled())
    display_.print(TextType::BotInfo, "The server stopped taking what the bot sends; the connection is dropped.");
  if (event == SocketEvent::Closed) {
    display_.print(TextType::BnetInfo, "THE BOT HAS LOST CONNECTION");
    display_.print(TextType::BnetInfo, "Attempting to reconnect...");
  }
  LoseConnection();
}

void CHaldenDoc::LoseConnection() {
  bot_->ClearUserList();
  bot_->CloseSocket();
  host_.SocketChanged(-1);
  // Whatever the state, the bot tries again after the wait: a deliberate
  // Disconnect stops watching the socket before any loss can be seen, and a
  // Disconnect during the wait is checked for before connecting.
  BeginConnecting(true);
}

void CHaldenDoc::OnTimer1() {
  if (++anti_idle_count_ > 14) {
    const std::string& msg = bot_->Settings().antiIdleMsg;
    if (!IsUnset(msg)) bot_->Queue().Say("%s\n", AsOneLine(msg).c_str());
    anti_idle_count_ = 0;
  }
  bot_->OnMinuteTick();
}

void CHaldenDoc::OnTimer2() {
  bot_->Queue().DecayScore();
  bot_->OnFastTick();
}

void CHaldenDoc::DeliverSentLines() { bot_->Queue().DeliverSent(); }

void CHaldenDoc::ReloadBotIni() {
  bot_->LoadResponseTables();
  bot_->LoadBotSettings();
  ApplyFonts();
}

void CHaldenDoc::Close() {
  if (closed_) return;
  closed_ = true;
  std::string leave = LoadLeaveMessageAtExit(paths_.botIni);
  if (!IsUnset(leave) && bot_->Socket() >= 0) bot_->Queue().SendNow("%s\n", AsOneLine(leave).c_str());
  bot_->ClearUserList();
  CancelWorker();
  JoinWorker();  // a connect in progress gives up; no socket appears after this
  bot_->CloseSocketGracefully();
  bot_->Queue().Stop();
}

}  // namespace tolvik
