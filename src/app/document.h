#pragma once
// The document: owns the bot, the connection state, the login values and the
// toggles; connects, reconnects after a loss, and runs the timers' work.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "app/config.h"
#include "app/connection_state.h"

namespace tolvik {

class ChatBot;
class ChatDisplay;
class Host;

enum class SocketEvent { Readable, Closed };

class CHaldenDoc {
 public:
  // Creates the bot for `workingDir` (Bot.ini and script.ini are created
  // empty there when missing), loads every setting and starts the sender.
  CHaldenDoc(const std::string& workingDir, ChatDisplay& display, Host& host);
  ~CHaldenDoc();
  CHaldenDoc(const CHaldenDoc&) = delete;
  CHaldenDoc& operator=(const CHaldenDoc&) = delete;

  // Connects when AutoLogin is set.
  void Start();
  void Connect();
  void Disconnect();
  // The front-end saw the socket readable or closed (main thread).
  void OnSocketEvent(SocketEvent event);
  // Timer 1 (every 60 s) and timer 2 (every 110 ms).
  void OnTimer1();
  void OnTimer2();
  // Runs on the main thread whenever the sender has sent lines.
  void DeliverSentLines();
  // The application closes: leave line, sender stopped, socket closed.
  void Close();
  // "Reload Bot.ini": response tables, bot settings and fonts, not [Init] or [Toggles].
  void ReloadBotIni();

  int State() const { return state_.load(); }
  void SetState(int state);
  std::string StatusText() const;
  const std::string& StatusServer() const { return status_server_; }
  // The server the status text names while no connection is under way.
  void SetStatusServer(std::string server) { status_server_ = std::move(server); }

  ChatBot& Bot() { return *bot_; }
  ChatDisplay& Display() { return display_; }
  Host& HostInterface() { return host_; }
  Toggles& GetToggles() { return toggles_; }
  const Toggles& GetToggles() const { return toggles_; }
  LoginSettings& Login() { return login_; }
  const ConfigPaths& Paths() const { return paths_; }
  int AntiIdleCount() const { return anti_idle_count_; }
  // The wait before reconnecting after a loss (5 s; tests shorten it).
  void SetReconnectDelay(int ms) { reconnect_delay_ms_ = ms; }

 private:
  // State 1 with fresh login values, then a connect worker.
  void BeginConnecting(bool after_reconnect_wait);
  void StartConnectWorker(bool after_reconnect_wait);
  // Makes any worker and its connect give up; returns the new generation.
  unsigned CancelWorker();
  void JoinWorker();
  void LoseConnection();
  void ApplyFonts();

  ChatDisplay& display_;
  Host& host_;
  ConfigPaths paths_;
  LoginSettings login_;
  Toggles toggles_;
  std::string status_server_;
  std::atomic<int> state_{NotConnected};
  int anti_idle_count_ = 0;
  int reconnect_delay_ms_ = 5000;
  bool closed_ = false;

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
