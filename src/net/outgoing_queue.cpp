#include "net/outgoing_queue.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "display/chat_display.h"
#include "net/chat_connection.h"

namespace tolvik {
namespace {

// "/msg " comes before the target of a whisper.
constexpr size_t kWhisperTargetAt = 5;

int Next(int index) { return index + 1 == OutgoingQueue::kSlots ? 0 : index + 1; }

// Formats a server line into `out` (kLineSize bytes). A line cut to fit still
// ends in LF when the full text would have, so it never runs into the next one.
size_t FormatLine(char* out, const char* format, va_list args) {
  int n = std::vsnprintf(out, OutgoingQueue::kLineSize, format, args);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  if (n >= OutgoingQueue::kLineSize) {
    out[OutgoingQueue::kLineSize - 2] = '\n';
    return OutgoingQueue::kLineSize - 1;
  }
  return static_cast<size_t>(n);
}

}  // namespace

OutgoingQueue::OutgoingQueue(ChatConnection& connection, ChatDisplay* display)
    : connection_(connection), display_(display) {
  pause_ = [this](int ms) { stopped_.waitFor(std::chrono::milliseconds(ms)); };
  connection_.SetSenderWake([this] { wake_.set(); });
}

OutgoingQueue::~OutgoingQueue() {
  Stop();
  connection_.SetSenderWake(nullptr);
}

int OutgoingQueue::ChoosePause(int score, int previous) {
  if (score > 45) return score > 200 ? 5000 : 4000;
  if (score == 0) return 0;
  return previous;
}

bool OutgoingQueue::Empty(Ring ring) const {
  return read_[ring].load(std::memory_order_acquire) == write_[ring].load(std::memory_order_acquire);
}

int OutgoingQueue::Waiting(Ring ring) const {
  int w = write_[ring].load(std::memory_order_acquire);
  int r = read_[ring].load(std::memory_order_acquire);
  return (w - r + kSlots) % kSlots;
}

std::vector<std::string> OutgoingQueue::PeekWaiting(Ring ring) const {
  std::vector<std::string> lines;
  int w = write_[ring].load(std::memory_order_acquire);
  for (int r = read_[ring].load(std::memory_order_acquire); r != w; r = Next(r))
    lines.emplace_back(rings_[ring][r], strnlen(rings_[ring][r], kEntrySize));
  return lines;
}

int OutgoingQueue::Enqueue(Ring ring, const char* line, std::string_view whisper_target, size_t text_at) {
  int w = write_[ring].load(std::memory_order_relaxed);
  if (Next(w) == read_[ring].load(std::memory_order_acquire)) {
    // Full: the newest line is dropped rather than overwriting waiting ones.
    if (!overflow_reported_[ring] && display_ != nullptr)
      display_->print(TextType::BotInfo, "Outgoing queue full: lines are being dropped until it drains.");
    overflow_reported_[ring] = true;
    return 1;
  }
  overflow_reported_[ring] = false;
  size_t len = strnlen(line, kEntrySize - 1);
  std::memcpy(rings_[ring][w], line, len);
  rings_[ring][w][len] = '\0';
  const std::string_view entry(rings_[ring][w], len);
  spans_[ring][w] = CommandSpans::Of(
      whisper_target.empty()
          ? ParseOutgoingLine(entry)
          : WhisperCommand(entry, entry.substr(std::min(kWhisperTargetAt, len), whisper_target.size()), text_at));
  queued_cost_.fetch_add(LineCost(len));
  write_[ring].store(Next(w), std::memory_order_release);
  wake_.set();
  return 0;
}

int OutgoingQueue::VSay(const char* format, va_list args) {
  char line[kLineSize];
  if (FormatLine(line, format, args) < 2) return 1;
  if (line[0] != '/' && hooks_.own_talk_queued) hooks_.own_talk_queued();
  return Enqueue(kNormal, line);
}

int OutgoingQueue::Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int r = VSay(format, args);
  va_end(args);
  return r;
}

int OutgoingQueue::SayPriority(const char* format, ...) {
  char line[kLineSize];
  va_list args;
  va_start(args, format);
  size_t len = FormatLine(line, format, args);
  va_end(args);
  if (len < 2) return 1;
  if (hooks_.own_talk_typed) hooks_.own_talk_typed();
  if (line[0] != '/' && hooks_.own_talk_queued) hooks_.own_talk_queued();
  return Enqueue(kPriority, line);
}

int OutgoingQueue::WhisperTo(const char* target, const char* format, ...) {
  char text[kLineSize];
  va_list args;
  va_start(args, format);
  size_t len = FormatLine(text, format, args);
  va_end(args);
  if (len < 2) return 1;
  if (strcasecmp(target, connection_.OwnName()) == 0) {
    // A whisper to ourselves is only shown.
    text[len - 1] = '\0';
    if (display_ != nullptr) display_->print(TextType::BotInfo, "%s", text);
    return 0;
  }
  // The whole "/msg" line keeps to the server's 255 characters and its LF.
  char line[kLineSize];
  int n = std::snprintf(line, sizeof line, "/msg %s %s", target, text);
  if (n >= static_cast<int>(sizeof line)) line[sizeof line - 2] = '\n';
  const size_t target_len = std::strlen(target);
  return Enqueue(kNormal, line, std::string_view(target, target_len), kWhisperTargetAt + target_len + 1);
}

int OutgoingQueue::SendNow(const char* format, ...) {
  char line[kLineSize];
  va_list args;
  va_start(args, format);
  size_t len = FormatLine(line, format, args);
  va_end(args);
  if (len < 2) return 1;
  connection_.SendCommand(ParseOutgoingLine(std::string_view(line, len)));
  line[len - 1] = '\0';
  if (display_ != nullptr) display_->print(TextType::MyText, "<%s> %s", connection_.OwnName(), line);
  return 0;
}

void OutgoingQueue::DecayScore() {
  int s = flood_score_.load();
  while (s > 0 && !flood_score_.compare_exchange_weak(s, s - 1)) {
  }
}

void OutgoingQueue::Start() {
  if (sender_.joinable() || stop_) return;
  sender_ = std::thread([this] { SenderLoop(); });
}

void OutgoingQueue::Stop() {
  stop_ = true;
  stopped_.set();
  wake_.set();
  connection_.InterruptSends();
  if (sender_.joinable()) sender_.join();
}

void OutgoingQueue::SenderLoop() {
  while (true) {
    if (Empty(kPriority) && Empty(kNormal)) {
      if (stop_) return;
      wake_.wait();
    }
    wake_.reset();
    if (Empty(kPriority) && Empty(kNormal)) {
      if (stop_) return;
      // Woken with nothing queued: the transport has requests to send again.
      connection_.SendQueued(nullptr);
      continue;
    }
    int pause = ChoosePause(flood_score_.load(), current_delay_.load());
    current_delay_.store(pause);
    if (!stop_ && pause > 0) {
      std::function<void(int)> take_pause;
      {
        std::lock_guard<std::mutex> lock(pause_mutex_);
        take_pause = pause_;
      }
      take_pause(pause);
    }

    Ring ring = Empty(kPriority) ? kNormal : kPriority;
    int index = read_[ring].load(std::memory_order_relaxed);
    const char* entry = rings_[ring][index];
    size_t len = strnlen(entry, kEntrySize);
    const OutgoingCommand command = spans_[ring][index].In(std::string_view(entry, len));
    connection_.SendQueued(&command);  // a failed send counts as sent
    int cost = LineCost(len);
    flood_score_.fetch_add(cost);
    queued_cost_.fetch_sub(cost);
    {
      std::lock_guard<std::mutex> lock(sent_mutex_);
      sent_.push_back(SentLine{ring, index, std::string(entry, len)});
    }
    read_[ring].store(Next(index), std::memory_order_release);
    if (hooks_.notify_main) hooks_.notify_main();
    if (stop_) return;
  }
}

void OutgoingQueue::DeliverSent() {
  // Lines the chat API refused locally are reported in the order they were sent.
  connection_.DeliverLocalEvents();
  std::vector<SentLine> sent;
  {
    std::lock_guard<std::mutex> lock(sent_mutex_);
    sent.swap(sent_);
  }
  for (const SentLine& line : sent) OnLineSent(line);
}

void OutgoingQueue::OnLineSent(const SentLine& sent) {
  if (hooks_.line_sent) hooks_.line_sent();
  if (sent.text.empty() || sent.text[0] == '/') return;
  std::string shown = sent.text.substr(0, sent.text.size() - 1);  // without its LF
  if (display_ != nullptr) display_->print(TextType::MyText, "<%s> %s", connection_.OwnName(), shown.c_str());
}

}  // namespace tolvik
