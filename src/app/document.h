#pragma once
// The document: owns the bot, the connection state, the login values and the
// toggles; connects, reconnects after a loss, and runs the timers' work.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <optional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "settings/config.h"
#include "net/connection_state.h"
#include "bot/bot_owner.h"
#include "net/connect_failure.h"
#include "net/retry_schedule.h"

namespace tolvik {

class ChatBot;
class ChatDisplay;
class DailyLog;
class Host;

enum class SocketEvent { Readable, Closed };

// How long the connect path waits at each step. The defaults are the
// program's; tests shorten them.
struct ReconnectTimings {
  int reconnect_delay_ms = 5000;  // after a working connection was lost
  int quick_pause_ms = 5000;      // after each of the three quick tries
  RetrySchedule::Timings backoff;  // between tries once the quick ones failed
  int login_timeout_ms = 30000;    // from the connect to the first event line
  int per_address_timeout_ms = 5000;
  int silence_timeout_ms = 45000;  // chat API: nothing heard for this long is a lost connection
};

class CHaldenDoc : public BotOwner {
 public:
  // Creates the bot for `workingDir` (Bot.ini and script.ini are created
  // empty there when missing), loads every setting and starts the sender.
  CHaldenDoc(const std::string& workingDir, ChatDisplay& display, Host& host);
  ~CHaldenDoc() override;
  CHaldenDoc(const CHaldenDoc&) = delete;
  CHaldenDoc& operator=(const CHaldenDoc&) = delete;

  // Connects when AutoLogin is set.
  void Start();
  void Connect();
  void Disconnect();
  // The front-end saw the socket readable or closed (main thread).
  void OnSocketEvent(SocketEvent event);
  // The last read stopped at its bound with more to take: RunDueTimers reads
  // again (NextTimerDue is now), whether or not the socket looks readable.
  bool ReadPending() const;
  // The two timers' work: every minute and every 110 ms (the bot's
  // handlers of the same names do its part).
  void OnMinuteTick();
  void OnFastTick();

  // The timers by deadline: the minute timer keeps its 60 s beat; the 110 ms
  // timer runs only while it has work (FastTimerBusy), so an idle program
  // sleeps. A host calls StartTimers once, then after each pass of its loop
  // waits until NextTimerDue and calls RunDueTimers.
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr std::chrono::milliseconds kMinuteInterval{60000};
  static constexpr std::chrono::milliseconds kFastInterval{110};
  void StartTimers(TimePoint now);
  // Work for the 110 ms timer: a flood score to decay, lines waiting to be
  // sent, a rejoin countdown, designations waiting their pause, a login
  // deadline, or a retry whose countdown is shown.
  bool FastTimerBusy() const;
  // The next deadline. Work that appeared since the last call starts the
  // 110 ms timer here: its first tick falls one interval after `now`. The
  // connection's silence deadline counts too, and a pending read is due now.
  TimePoint NextTimerDue(TimePoint now);
  // Runs what is due at `now`; true when the 110 ms work ran. The 110 ms
  // timer stops once its work is done. A pending read is taken up, and a
  // connection silent past its deadline is given up as lost.
  bool RunDueTimers(TimePoint now);
  // Runs on the main thread whenever the sender has sent lines.
  void DeliverSentLines();
  // [Logging] DailyLogs: every shown line also goes to logs/YYYY-MM-DD.log.
  // Switching stores the choice in Bot.ini; false when it could not be stored
  // (the switch applies to this run all the same).
  bool DailyLogsOn() const;
  bool SetDailyLogs(bool on);
  // The application closes: leave line, sender stopped, socket closed.
  void Close();
  // "Reload Bot.ini": response tables, bot settings, fonts and [Logging], not [Init] or [Toggles].
  void ReloadBotIni();

  int State() const { return state_.load(); }
  void SetState(int state) override;
  std::string StatusText() const;
  const std::string& StatusServer() const { return status_server_; }
  // The server the status text names while no connection is under way.
  void SetStatusServer(std::string server) { status_server_ = std::move(server); }

  ChatBot& Bot() { return *bot_; }
  ChatDisplay& Display() { return display_; }
  Host& HostInterface() { return host_; }
  Toggles& GetToggles() { return toggles_; }
  const Toggles& GetToggles() const override { return toggles_; }
  // BotOwner: what the bot asks of a front-end goes to the host.
  void OpenUserWhisperBar(const std::string& name) override;
  void PageAlarm() override;
  LoginSettings& Login() { return login_; }
  const ConfigPaths& Paths() const { return paths_; }
  int AntiIdleCount() const { return anti_idle_count_; }
  // The wait before reconnecting after a loss (5 s; tests shorten it).
  void SetReconnectDelay(int ms) { timings_.reconnect_delay_ms = ms; }
  void SetReconnectTimings(const ReconnectTimings& timings);
  const ReconnectTimings& Timings() const { return timings_; }
  // A try is due later (after failures), until Connect or Disconnect.
  bool RetryPending() const { return retry_due_.has_value(); }
  // Why the last try failed (kind None once logged in or disconnected).
  const ConnectFailure& LastFailure() const { return last_failure_; }

 private:
  using Clock = std::chrono::steady_clock;
  // How a connect worker goes about it.
  enum class ConnectMode {
    Quick,      // the three quick tries, at once
    AfterLoss,  // the same after the reconnect delay
    Backoff,    // one try after the retry schedule's wait
  };

  // State 1 with fresh login values, then a connect worker.
  void BeginConnecting(ConnectMode mode);
  void StartConnectWorker(ConnectMode mode, int delay_ms);
  // The worker's result, on the main thread.
  void ConnectFinished(bool connected);
  // Says why (once per change of reason) and schedules the next try.
  void Fail(const ConnectFailure& why);
  void ReportFailure(const ConnectFailure& why);
  void ForgetFailures();
  // Whole seconds until the next try (at least 1).
  int SecondsToRetry() const;
  // Makes any worker and its connect give up; returns the new generation.
  unsigned CancelWorker();
  void JoinWorker();
  void LoseConnection(ConnectFailure why);
  void CheckLoginTimeout();
  void CheckSilence(TimePoint now);
  void ApplyFonts();
  void WarnWhenCommandsAreOpen();

  ChatDisplay& display_;
  Host& host_;
  ConfigPaths paths_;
  LoginSettings login_;
  Toggles toggles_;
  std::string status_server_;
  std::atomic<int> state_{NotConnected};
  int anti_idle_count_ = 0;
  ReconnectTimings timings_;
  RetrySchedule retry_;
  std::optional<Clock::time_point> retry_due_;
  std::optional<Clock::time_point> login_deadline_;
  ConnectFailure last_failure_;   // shown in the status text
  ConnectFailure last_reported_;  // printed last; the same reason is not printed again
  int shown_countdown_ = -1;
  bool closed_ = false;
  TimePoint next_minute_{};
  std::optional<TimePoint> next_fast_;  // empty while the 110 ms timer is stopped

  std::unique_ptr<DailyLog> daily_log_;
  std::unique_ptr<ChatBot> bot_;
  // Closures posted to the main thread check this, so none runs after the document is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  // The connect or reconnect worker; a Disconnect cuts its wait short.
  std::thread worker_;
  std::mutex worker_mutex_;
  std::condition_variable worker_cv_;
  std::atomic<unsigned> generation_{0};
};

}  // namespace tolvik
