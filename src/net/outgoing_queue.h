#pragma once
// Two rings of lines for the server, drained by one sender thread that paces
// them by a flood score. Lines typed by the operator go to the priority ring
// and overtake the bot's own lines.
//
// Each line is taken apart once, when it is queued (outgoing_command.h), and
// the sender hands the transport the command: the text gateway writes the
// line as it is, the chat API builds its request from the parts.
//
// Threads: the main thread enqueues, decays the score and delivers the
// sent-line notifications; the sender thread only takes lines out. The ring
// indices are published with release/acquire, so no lock is taken on either side.
#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/manual_reset_event.h"
#include "net/outgoing_command.h"

namespace tolvik {

class ChatConnection;
class ChatDisplay;

class OutgoingQueue {
 public:
  static constexpr int kSlots = 50;
  static constexpr int kEntrySize = 300;
  static constexpr int kLineSize = 256;
  enum Ring : int { kNormal = 0, kPriority = 1 };

  // Callbacks into the rest of the program; any may be left empty.
  struct Hooks {
    // Called from the sender thread after a line left: must only arrange for
    // DeliverSent() to run soon on the main thread (queued call, eventfd, ...).
    std::function<void()> notify_main;
    // Main thread: a line that is not a command was queued (own entry leaves idle).
    std::function<void()> own_talk_queued;
    // Main thread: the operator typed a line (stamps the own entry's activity).
    std::function<void()> own_talk_typed;
    // Main thread, from DeliverSent(): a line left (restarts the anti-idle count).
    std::function<void()> line_sent;
  };

  OutgoingQueue(ChatConnection& connection, ChatDisplay* display);
  ~OutgoingQueue();
  OutgoingQueue(const OutgoingQueue&) = delete;
  OutgoingQueue& operator=(const OutgoingQueue&) = delete;

  void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
  // How the sender takes its pause; the default waits and is cut short by Stop().
  // May be called while the sender runs.
  void SetPause(std::function<void(int ms)> pause) {
    std::lock_guard<std::mutex> lock(pause_mutex_);
    pause_ = std::move(pause);
  }

  // Say, SayPriority and WhisperTo return kQueued when the line was taken
  // (or, for a whisper to ourselves, shown), 1 when it was not: shorter than
  // two characters, or its ring was full. Whatever waits for the server's
  // answer to a line is recorded only when the line was queued.
  static constexpr int kQueued = 0;
  int Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int VSay(const char* format, va_list args);
  int SayPriority(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int WhisperTo(const char* target, const char* format, ...) __attribute__((format(printf, 3, 4)));
  int SendNow(const char* format, ...) __attribute__((format(printf, 2, 3)));

  void DecayScore();
  int QueuedCost() const { return queued_cost_.load(); }
  int FloodScore() const { return flood_score_.load(); }
  int CurrentDelay() const { return current_delay_.load(); }
  int Waiting(Ring ring) const;
  // Copies of the lines waiting in a ring, oldest first (for views and tests).
  std::vector<std::string> PeekWaiting(Ring ring) const;
  void Wake() { wake_.set(); }

  // Starts the sender thread (once). Stop() lets it finish its cycle and joins it.
  void Start();
  void Stop();

  // Main thread: echoes every line the sender has sent since the last call.
  void DeliverSent();

  static int LineCost(size_t length) { return 20 * (1 + static_cast<int>(length / 65)); }
  // Pause before the next line, from the score the earlier lines left.
  static int ChoosePause(int score, int previous);

 private:
  struct SentLine {
    Ring ring;
    int index;
    std::string text;
  };

  // Queues `line`; `whisper_target` (when set) makes it a whisper to that
  // user whose message starts at `text_at`, otherwise the line is taken apart.
  int Enqueue(Ring ring, const char* line, std::string_view whisper_target = {}, size_t text_at = 0);
  void SenderLoop();
  void OnLineSent(const SentLine& sent);
  bool Empty(Ring ring) const;

  ChatConnection& connection_;
  ChatDisplay* display_;
  Hooks hooks_;
  std::mutex pause_mutex_;
  std::function<void(int ms)> pause_;

  char rings_[2][kSlots][kEntrySize] = {};
  CommandSpans spans_[2][kSlots] = {};
  std::atomic<int> write_[2] = {0, 0};
  std::atomic<int> read_[2] = {0, 0};
  std::atomic<int> flood_score_{0};
  std::atomic<int> current_delay_{0};
  std::atomic<int> queued_cost_{0};
  std::atomic<bool> stop_{false};
  bool overflow_reported_[2] = {false, false};
  ManualResetEvent wake_;
  ManualResetEvent stopped_;
  std::thread sender_;

  std::mutex sent_mutex_;
  std::vector<SentLine> sent_;
};

}  // namespace tolvik
