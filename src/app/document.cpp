#include "app/document.h"

#include <fcntl.h>
#include <algorithm>
#include <unistd.h>

#include "app/daily_log.h"
#include "display/chat_display.h"
#include "display/control_text.h"
#include "settings/font_records.h"
#include "storage/atomic_file.h"
#include "app/host.h"
#include "storage/private_profile.h"
#include "app/starter_files.h"
#include "bot/chat_bot.h"
#include "bot/users_file.h"
#include "net/transport.h"

namespace tolvik {
namespace {

// An empty file reads exactly like a missing one, but settings can be written to it.
void CreateIfMissing(const std::string& path, mode_t mode) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd >= 0) ::close(fd);
  ForgetReadFiles();
}

}  // namespace

CHaldenDoc::CHaldenDoc(const std::string& workingDir, ChatDisplay& display, Host& host)
    : display_(display), host_(host), paths_(ConfigPaths::FromWorkingDirectory(workingDir)) {
  // A program killed in the middle of a rewrite leaves its temporary behind,
  // perhaps with the password in it.
  RemoveStaleTemporaries(paths_.workingDirectory);
  // Bot.ini holds the account password; users.lst gets its level sections so
  // names can be added on the first run.
  CreateFileIfMissing(paths_.botIni, StarterBotIni(), 0600);
  CreateIfMissing(paths_.scriptIni, 0644);
  CreateFileIfMissing(JoinPath(paths_.workingDirectory, kUsersFileName), StarterUsersList(), 0644);
  // Highlights of older files sit among the text types' records; they move once.
  MigrateHighlightRecords(paths_.botIni);
  daily_log_ = std::make_unique<DailyLog>(paths_.workingDirectory);
  daily_log_->Configure(LoadLoggingSettings(paths_.botIni));
  display_.setDailyLog(daily_log_.get());
  bot_ = std::make_unique<ChatBot>(*this, display_, paths_);

  login_ = LoadLoginSettings(paths_.botIni);
  bot_->SetHomeChannel(login_.channel.c_str());  // the unset marker when none is configured
  bot_->LoadBotSettings();
  bot_->LoadResponseTables();
  ApplyFonts();
  WarnWhenCommandsAreOpen();
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
  bot_->Users().setFullAlert([this] {
    display_.print(TextType::BotInfo, "The user list is full (%d users): users joining now are not listed",
                   UserList::kMaxUsers);
  });
  bot_->Queue().Start();
}

CHaldenDoc::~CHaldenDoc() {
  alive_.reset();
  if (!closed_) Close();
  JoinWorker();
  // The display may already log for a newer document (another profile opened).
  if (display_.dailyLog() == daily_log_.get()) display_.setDailyLog(nullptr);
}

void CHaldenDoc::WarnWhenCommandsAreOpen() {
  // Without [Commands] levels every command is open to everybody (a missing
  // key reads as -1); older files may mean that, so the owner is told once.
  if (!PrivateProfile::ReadSection("Commands", paths_.botIni).empty()) return;
  display_.print(TextType::BotInfo,
                 "Every user, listed or not, may command this bot: Bot.ini has no [Commands] levels. Set the "
                 "level each command needs on the Access page of the Response Configurator (in tolvik-cli: "
                 "//level COMMAND N).");
}

void CHaldenDoc::OpenUserWhisperBar(const std::string& name) { host_.OpenUserWhisperBar(name); }

void CHaldenDoc::PageAlarm() { host_.PageAlarm(); }

void CHaldenDoc::ApplyFonts() { display_.setFormats(LoadTextFormats(paths_.botIni)); }

void CHaldenDoc::Start() {
  if (login_.autoLogin) Connect();
}

void CHaldenDoc::SetState(int state) {
  const int old = state_.exchange(state);
  if (old == state) return;
  if (state == Connected) {
    // Logged in: the next failure is news again and starts the schedule over.
    login_deadline_.reset();
    retry_.reset();
    ForgetFailures();
  }
  host_.StatusChanged(state, StatusText());
}

std::string CHaldenDoc::StatusText() const {
  const int state = state_.load();
  std::string text = tolvik::StatusText(state, status_server_);
  if (state == ConnectionFailed && last_failure_.kind != FailureKind::None) text += ": " + last_failure_.Message();
  if (state == ConnectionFailed && retry_due_) text += ". Retrying in " + std::to_string(SecondsToRetry()) + " s";
  // The server's name and a failure's detail (a refusal's status line, say)
  // come from outside: the status is cleaned as chat lines are.
  return CleanShownText(text);
}

int CHaldenDoc::SecondsToRetry() const {
  if (!retry_due_) return 0;
  const auto left = std::chrono::ceil<std::chrono::seconds>(*retry_due_ - Clock::now()).count();
  return left < 1 ? 1 : static_cast<int>(left);
}

void CHaldenDoc::SetReconnectTimings(const ReconnectTimings& timings) {
  timings_ = timings;
  retry_.setTimings(timings.backoff);
  bot_->SetPerAddressTimeout(timings.per_address_timeout_ms);
  bot_->SetSilenceTimeout(timings.silence_timeout_ms);
}

void CHaldenDoc::Connect() {
  struct Required {
    std::string LoginSettings::*field;
    const char* prompt;
    const char* key;
  };
  // The secret is asked for by the name the server's transport gives it
  // (a chat API server's is its API key).
  const TransportTraits& transport = TransportTraitsFor(login_.server);
  const Required required[] = {
      {&LoginSettings::password, transport.secret_prompt, transport.secret_name},
      {&LoginSettings::login, "Please enter Login Name", "Login"},
      {&LoginSettings::server, "Please Select a Server", "Server"},
  };
  for (Required r : required) {
    while (IsUnset(login_.*r.field)) {
      display_.print(TextType::BnetInfo, "%s", r.prompt);
      std::string value;
      if (!host_.AskForLoginValue(r.key, value)) return;
      // Kept to the [Init] limit like a stored value, so the credentials line
      // always fits the server's line with both its CR LF. A chat API address
      // and its key are longer, and travel in requests of their own.
      size_t limit = kLoginFieldLimit;
      if (r.field == &LoginSettings::server) limit = TransportTraitsFor(value).server_limit;
      if (r.field == &LoginSettings::password) limit = TransportTraitsFor(login_.server).secret_limit;
      login_.*r.field = value.substr(0, limit);
    }
  }
  if (!IsIdleState(state_.load())) return;
  // Asked for by the user: at once, and with a fresh schedule.
  retry_.reset();
  ForgetFailures();
  BeginConnecting(ConnectMode::Quick);
}

void CHaldenDoc::ForgetFailures() {
  retry_due_.reset();
  last_failure_ = {};
  last_reported_ = {};
  shown_countdown_ = -1;
}

void CHaldenDoc::BeginConnecting(ConnectMode mode) {
  status_server_ = login_.server;
  retry_due_.reset();
  SetState(Connecting);
  // A worker still giving up (a Disconnect does not wait for it) reads the
  // login values: it is gone before they change. Its waits end within 100 ms.
  CancelWorker();
  JoinWorker();
  bot_->SetLoginInfo(login_.login.c_str(), login_.password.c_str(), login_.server.c_str(),
                     ChatConnection::kDefaultPort);
  bot_->SetCaFile(login_.caFile);
  StartConnectWorker(mode, mode == ConnectMode::AfterLoss ? timings_.reconnect_delay_ms : 0);
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
  // A retry that is only waiting is stopped too.
  if (IsIdleState(state_.load()) && !retry_due_) return;
  bot_->ClearUserList();
  status_server_ = IsUnset(login_.server) ? "" : login_.server;
  CancelWorker();
  bot_->CloseSocket();
  host_.SocketChanged(-1);
  login_deadline_.reset();
  ForgetFailures();
  if (state_.load() == NotConnected)
    host_.StatusChanged(NotConnected, StatusText());
  else
    SetState(NotConnected);
}

void CHaldenDoc::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void CHaldenDoc::StartConnectWorker(ConnectMode mode, int delay_ms) {
  const unsigned gen = CancelWorker();
  JoinWorker();
  bot_->AllowConnect();

  // Waits that a Disconnect (or a newer worker) cuts short; true when cut.
  auto cancelled_wait = [this, gen](int ms) {
    std::unique_lock<std::mutex> lock(worker_mutex_);
    return worker_cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return generation_ != gen; });
  };
  const int quick_pause = timings_.quick_pause_ms;
  bot_->SetRetryPause([cancelled_wait, quick_pause](int) { cancelled_wait(quick_pause); });

  std::weak_ptr<bool> alive = alive_;
  worker_ = std::thread([this, gen, mode, delay_ms, cancelled_wait, alive] {
    if (delay_ms > 0 && (cancelled_wait(delay_ms) || state_.load() == NotConnected)) return;
    if (generation_ != gen) return;
    if (mode == ConnectMode::Backoff) {
      host_.PostToMain([this, gen, alive] {
        if (alive.lock() && generation_ == gen) {
          retry_due_.reset();
          SetState(Connecting);
        }
      });
    }
    bot_->CloseSocket();
    const bool connected = mode == ConnectMode::Backoff
                               ? bot_->ConnectOnce()
                               : bot_->ConnectWithRetries() == WaitingForLoginPrompt;
    host_.PostToMain([this, gen, connected, alive] {
      if (!alive.lock()) return;
      if (generation_ != gen) {
        // Disconnected meanwhile: the new socket is not wanted.
        if (connected && state_.load() == NotConnected) bot_->CloseSocket();
        return;
      }
      ConnectFinished(connected);
    });
  });
}

void CHaldenDoc::ConnectFinished(bool connected) {
  if (!connected) {
    Fail(bot_->LastFailure());
    return;
  }
  host_.SocketChanged(bot_->Socket());
  login_deadline_ = Clock::now() + std::chrono::milliseconds(timings_.login_timeout_ms);
  SetState(WaitingForLoginPrompt);
}

void CHaldenDoc::ReportFailure(const ConnectFailure& why) {
  last_failure_ = why;
  if (why == last_reported_) return;
  last_reported_ = why;
  display_.print(TextType::BnetInfo, "%s.", why.Message().c_str());
}

void CHaldenDoc::Fail(const ConnectFailure& why) {
  ReportFailure(why);
  const auto wait = retry_.next();
  retry_due_ = Clock::now() + wait;
  shown_countdown_ = SecondsToRetry();
  // Told even when the state was 3 already: the reason and the wait are news.
  state_.store(ConnectionFailed);
  host_.StatusChanged(ConnectionFailed, StatusText());
  StartConnectWorker(ConnectMode::Backoff, static_cast<int>(wait.count()));
}

void CHaldenDoc::OnSocketEvent(SocketEvent event) {
  ConnectFailure why{FailureKind::ServerClosed, ""};
  if (event == SocketEvent::Readable) {
    bool ok = bot_->ReadAvailable();
    if (ok && !bot_->PeerClosed() && !bot_->WriteStalled()) return;
    if (ok) event = SocketEvent::Closed;  // read end of stream: the server closed
    else if (bot_->Socket() >= 0) why = ConnectFailure::FromErrno(bot_->ReadError());
  }
  if (bot_->WriteStalled()) {
    display_.print(TextType::BotInfo, "The server stopped taking what the bot sends; the connection is dropped.");
    why = {FailureKind::ConnectionLost, "the server stopped reading"};
  }
  if (event == SocketEvent::Closed) {
    display_.print(TextType::BnetInfo, "THE BOT HAS LOST CONNECTION");
    display_.print(TextType::BnetInfo, "Attempting to reconnect...");
  }
  LoseConnection(why);
}

bool CHaldenDoc::ReadPending() const { return bot_->ReadPending(); }

void CHaldenDoc::CheckSilence(TimePoint now) {
  const auto due = bot_->SilenceDeadline();
  if (!due || now < *due) return;
  display_.print(TextType::BnetInfo, "THE BOT HAS LOST CONNECTION");
  display_.print(TextType::BnetInfo, "Attempting to reconnect...");
  LoseConnection({FailureKind::ConnectionLost,
                  "nothing heard from the server for " + std::to_string((timings_.silence_timeout_ms + 999) / 1000) +
                      " s"});
}

void CHaldenDoc::LoseConnection(ConnectFailure why) {
  const int was = state_.load();
  bot_->ClearUserList();
  bot_->CloseSocket();
  host_.SocketChanged(-1);
  login_deadline_.reset();
  if (was == NotConnected) return;  // disconnected on purpose: stay so
  // After the server said no, its close (or its silence) is that refusal.
  const bool after_refusal = why.kind == FailureKind::ServerClosed || why.kind == FailureKind::LoginTimedOut;
  if (after_refusal && was == LoginFailed) why = {FailureKind::LoginRefused, "Login Incorrect"};
  if (after_refusal && was == ConnectionRefused) why = {FailureKind::LoginRefused, ""};
  if (was == Connected) {
    // A working connection ended: say why, then the quick tries after the delay.
    ReportFailure(why);
    last_failure_ = {};
    BeginConnecting(ConnectMode::AfterLoss);
    return;
  }
  // The login never completed: this try failed.
  Fail(why);
}

void CHaldenDoc::CheckLoginTimeout() {
  if (!login_deadline_ || Clock::now() < *login_deadline_) return;
  const int state = state_.load();
  const bool logging_in = state == WaitingForLoginPrompt || state == VerifyingNameAndPassword ||
                          state == LoginFailed || state == ConnectionRefused;
  login_deadline_.reset();
  if (!logging_in) return;
  LoseConnection({FailureKind::LoginTimedOut,
                  "no login within " + std::to_string((timings_.login_timeout_ms + 999) / 1000) + " s"});
}

void CHaldenDoc::OnMinuteTick() {
  if (++anti_idle_count_ > 14) {
    const std::string& msg = bot_->Settings().antiIdleMsg;
    if (!IsUnset(msg)) bot_->Queue().Say("%s\n", AsOneLine(msg).c_str());
    anti_idle_count_ = 0;
  }
  bot_->OnMinuteTick();
}

void CHaldenDoc::OnFastTick() {
  bot_->Queue().DecayScore();
  bot_->OnFastTick();
  CheckLoginTimeout();
  // The countdown of a waiting retry, kept current without a timer of its own.
  if (retry_due_ && state_.load() == ConnectionFailed) {
    const int seconds = SecondsToRetry();
    if (seconds != shown_countdown_) {
      shown_countdown_ = seconds;
      host_.StatusRefreshed(ConnectionFailed, StatusText());
    }
  }
}

void CHaldenDoc::StartTimers(TimePoint now) {
  next_minute_ = now + kMinuteInterval;
  next_fast_.reset();
}

bool CHaldenDoc::FastTimerBusy() const {
  const OutgoingQueue& queue = bot_->Queue();
  return queue.FloodScore() > 0 || queue.QueuedCost() > 0 || bot_->RejoinCounting() ||
         bot_->DesignationsWaiting() > 0 || login_deadline_.has_value() ||
         (retry_due_.has_value() && state_.load() == ConnectionFailed);
}

CHaldenDoc::TimePoint CHaldenDoc::NextTimerDue(TimePoint now) {
  if (!next_fast_ && FastTimerBusy()) next_fast_ = now + kFastInterval;
  if (bot_->ReadPending()) return now;
  TimePoint due = next_fast_ ? std::min(*next_fast_, next_minute_) : next_minute_;
  if (const auto silence = bot_->SilenceDeadline()) due = std::min(due, *silence);
  return due;
}

bool CHaldenDoc::RunDueTimers(TimePoint now) {
  if (bot_->ReadPending()) {
    // The lines of one read come in a burst: each file is read once for them.
    ReadOnceScope once;
    OnSocketEvent(SocketEvent::Readable);
  }
  CheckSilence(now);
  bool fast = false;
  if (next_fast_ && now >= *next_fast_) {
    OnFastTick();
    next_fast_ = now + kFastInterval;
    fast = true;
  }
  if (now >= next_minute_) {
    OnMinuteTick();
    next_minute_ = now + kMinuteInterval;
  }
  if (next_fast_ && !FastTimerBusy()) next_fast_.reset();
  return fast;
}

void CHaldenDoc::DeliverSentLines() { bot_->Queue().DeliverSent(); }

void CHaldenDoc::ReloadBotIni() {
  bot_->LoadResponseTables();
  bot_->LoadBotSettings();
  ApplyFonts();
  daily_log_->Configure(LoadLoggingSettings(paths_.botIni));
}

bool CHaldenDoc::DailyLogsOn() const { return daily_log_->Enabled(); }

bool CHaldenDoc::SetDailyLogs(bool on) {
  LoggingSettings settings = LoadLoggingSettings(paths_.botIni);
  settings.dailyLogs = on;
  daily_log_->Configure(settings);
  return SaveDailyLogs(paths_.botIni, on);
}

void CHaldenDoc::Close() {
  if (closed_) return;
  closed_ = true;
  // No script may hold up the close: one running now (a stop signal came in
  // the middle of it) has already been cut short, and none runs after this.
  bot_->Scripts().Stop();
  std::string leave = LoadLeaveMessageAtExit(paths_.botIni);
  if (!IsUnset(leave) && bot_->Socket() >= 0) bot_->Queue().SendNow("%s\n", AsOneLine(leave).c_str());
  bot_->ClearUserList();
  CancelWorker();
  JoinWorker();  // a connect in progress gives up; no socket appears after this
  bot_->CloseSocketGracefully();
  bot_->Queue().Stop();
}

}  // namespace tolvik
