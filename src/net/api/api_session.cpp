#include "net/api/api_session.h"

#include <fcntl.h>
#include <strings.h>

#include <algorithm>

#include "net/api/api_requests.h"
#include "net/tls_stream.h"
#include "net/api/websocket_channel.h"
#include "net/websocket_handshake.h"

namespace tolvik::api {
namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr uint32_t kOperatorFlag = 0x02;

bool IsWord(std::string_view word, std::string_view name) {
  return word.size() == name.size() && strncasecmp(word.data(), name.data(), name.size()) == 0;
}

// The status that says the bot is not in the chat (any more).
bool NotConnected(const ApiStatus& s) { return s.area == 8 && s.code == 1; }
// Area 6: the service is busy (rate limited, timed out); the request itself was fine.
bool AsksForPause(const ApiStatus& s) { return s.area == 6; }

}  // namespace

ApiSession::ApiSession(int fd, std::unique_ptr<TlsStream> tls, std::unique_ptr<WebSocketChannel> ws)
    : fd_(fd), tls_(std::move(tls)), ws_(std::move(ws)) {}

ApiSession::~ApiSession() = default;

std::unique_ptr<ApiSession> ApiSession::Open(int fd, const ApiUrl& url, const std::string& api_key,
                                             const std::string& ca_file, std::string* error,
                                             const std::atomic<bool>* cancel) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
  auto tls = TlsStream::Connect(fd, url.host, ca_file, kHandshakeTimeoutMs, error, cancel);
  if (!tls) return nullptr;
  std::string extra;
  if (!ClientUpgrade(*tls, url.HostHeader(), url.path, kHandshakeTimeoutMs, &extra, error, cancel)) return nullptr;
  std::unique_ptr<ApiSession> session(new ApiSession(fd, std::move(tls), nullptr));
  ApiSession* self = session.get();
  session->ws_ = std::make_unique<WebSocketChannel>(
      WebSocketChannel::Role::kClient, *session->tls_,
      [self](std::string_view message) { self->inbox_.emplace_back(message); }, std::move(extra));
  const int64_t id = session->NextId();
  session->decoder_.Expect(id, RequestKind::kAuthenticate);
  session->ws_->SetCancel(cancel);
  const bool sent = session->Send(AuthenticateRequest(id, api_key), kHandshakeTimeoutMs);
  session->ws_->SetCancel(nullptr);
  if (!sent) {
    *error = "The authentication request could not be sent";
    return nullptr;
  }
  return session;
}

bool ApiSession::Send(const std::string& json, int timeout_ms) {
  std::lock_guard<std::mutex> lock(io_mutex_);
  return ws_->SendText(json, timeout_ms);
}

bool ApiSession::Read(std::vector<ChatEvent>* events) {
  std::vector<std::string> messages;
  bool open;
  {
    std::lock_guard<std::mutex> lock(io_mutex_);
    open = ws_->Pump({kReadBytesPerCall, kReadMessagesPerCall});
    messages.swap(inbox_);
  }
  const int64_t now = NowMs();
  for (const std::string& message : messages) {
    ApiDecoder::Answer answer;
    ApiDecoder::Kind kind = decoder_.Decode(message, now, &scratch_, &answer);
    if (kind == ApiDecoder::Kind::kDisconnect) {
      open = false;
      break;
    }
    const bool response = kind == ApiDecoder::Kind::kResponse;
    if (response && answer.known &&
        (answer.kind == RequestKind::kAuthenticate || answer.kind == RequestKind::kConnect)) {
      if (!OnLoginAnswer(answer, events)) {
        open = false;
        break;
      }
      continue;
    }
    // Until the chat is joined, whatever else the server sends is passed over.
    if (!Joined()) continue;
    if (response && answer.failed && AsksForPause(answer.status)) {
      HoldForPause(answer, now, events);
      continue;
    }
    if (response) Settle(answer, &scratch_);
    events->insert(events->end(), scratch_.begin(), scratch_.end());
    NoteOwnStatus(scratch_);
    if (answer.failed && NotConnected(answer.status)) {
      open = false;
      break;
    }
  }
  if (!open) {
    over_ = true;
    Interrupt();  // the sender has nothing to wait for
  }
  return !over_;
}

bool ApiSession::ReadPending() const { return !over_ && ws_->MorePending(); }

bool ApiSession::OnLoginAnswer(const ApiDecoder::Answer& answer, std::vector<ChatEvent>* events) {
  if (answer.kind == RequestKind::kAuthenticate) {
    if (answer.failed) {
      events->emplace_back();
      FillEvent(&events->back(), kEvError, "", 0, "The API key was refused: " + DescribeStatus(answer.status));
      // The text gateway's refusal line, so the login state and the retry rule follow as they do there.
      events->emplace_back();
      FillEvent(&events->back(), kEvRawLine, "", 0, "Login Incorrect");
      return false;
    }
    const int64_t id = NextId();
    decoder_.Expect(id, RequestKind::kConnect);
    return Send(ConnectRequest(id), kHandshakeTimeoutMs);
  }
  if (answer.failed) {
    events->emplace_back();
    FillEvent(&events->back(), kEvError, "", 0, "The chat connection was refused: " + DescribeStatus(answer.status));
    return false;
  }
  // In the chat: whatever the server said before is forgotten (none of it
  // was acted on), and the sender may go.
  decoder_.Reset();
  {
    std::lock_guard<std::mutex> lock(turn_mutex_);
    joined_ = true;
  }
  turn_cv_.notify_all();
  return true;
}

void ApiSession::HoldForPause(const ApiDecoder::Answer& answer, int64_t now_ms, std::vector<ChatEvent>* events) {
  int pause = 0;
  {
    std::lock_guard<std::mutex> lock(turn_mutex_);
    // Answers to requests sent before this pause began belong to it; the
    // pause grows only when requests sent after it are refused again.
    if (now_ms >= hold_until_ms_) {
      pause = NextPauseMs(pause_ms_);
      pause_ms_ = pause;
      hold_until_ms_ = now_ms + pause;
    }
    auto sent = in_flight_.find(answer.request_id);
    if (answer.known && sent != in_flight_.end()) {
      held_.emplace_back(sent->first, std::move(sent->second));
      in_flight_.erase(sent);
      has_held_ = true;
    }
  }
  if (pause == 0) return;
  // Information only: an error line would answer a pending ban or designation.
  events->emplace_back();
  FillEvent(&events->back(), kEvInfo, "", 0,
            "The chat API asks the bot to wait (" + DescribeStatus(answer.status) + "): requests go again in " +
                std::to_string(pause / 1000) + " s.");
}

void ApiSession::Settle(const ApiDecoder::Answer& answer, std::vector<ChatEvent>* events) {
  std::lock_guard<std::mutex> lock(turn_mutex_);
  auto sent = in_flight_.find(answer.request_id);
  if (!answer.known || sent == in_flight_.end()) return;
  if (sent->second.kind == RequestKind::kSetModerator && answer.failed) {
    events->emplace_back();
    FillEvent(&events->back(), kEvInfo, "", 0,
              "Handing operator status to " + sent->second.target + " failed: " + DescribeStatus(answer.status));
  }
  in_flight_.erase(sent);
  pause_ms_ = 0;  // the service took a request again
}

void ApiSession::NoteOwnStatus(const std::vector<ChatEvent>& records) {
  std::string own;
  for (const ChatEvent& ev : records) {
    if (ev.id != kEvShowUser && ev.id != kEvJoin && ev.id != kEvUserFlags && ev.id != kEvName) continue;
    if (own.empty()) own = decoder_.OwnName();
    if (!own.empty() && own == ev.name) operator_ = (ev.flags & kOperatorFlag) != 0;
  }
}

void ApiSession::AwaitTurn() {
  std::unique_lock<std::mutex> lock(turn_mutex_);
  while (!interrupted_) {
    if (!joined_) {
      turn_cv_.wait(lock);
      continue;
    }
    const int64_t wait = hold_until_ms_ - NowMs();
    if (wait <= 0) return;
    turn_cv_.wait_for(lock, std::chrono::milliseconds(wait));
  }
}

void ApiSession::Interrupt() {
  {
    std::lock_guard<std::mutex> lock(turn_mutex_);
    interrupted_ = true;
  }
  turn_cv_.notify_all();
}

bool ApiSession::SendHeldRequests(int timeout_ms) {
  std::deque<std::pair<int64_t, Sent>> held;
  {
    std::lock_guard<std::mutex> lock(turn_mutex_);
    held.swap(held_);
    has_held_ = false;
  }
  bool ok = true;
  for (auto& [id, sent] : held) {
    // A kick or ban whose target left meanwhile was confirmed by the leave.
    uint64_t now_id = 0;
    if ((sent.kind == RequestKind::kKick || sent.kind == RequestKind::kBan) &&
        !(decoder_.FindUser(sent.target, &now_id) && now_id == sent.target_id))
      continue;
    // Each goes again under its own id: its answer settled it, so the id is free.
    ok = SendRequest(id, std::move(sent), timeout_ms) && ok;
  }
  return ok;
}

bool ApiSession::SendCommand(const OutgoingCommand& command, int timeout_ms) {
  std::string_view rest;
  bool ok = FirstLine(command.line, &rest).empty() || SendOne(command, timeout_ms);
  while (!rest.empty()) {
    std::string_view line = FirstLine(rest, &rest);
    if (!line.empty()) ok = SendOne(ParseOutgoingLine(line), timeout_ms) && ok;
  }
  return ok;
}

bool ApiSession::SendOne(const OutgoingCommand& command, int timeout_ms) {
  // Only an unpaced line can come this early (the sender waits for the chat).
  if (!Joined()) {
    AddLocal(kEvInfo, "Not in the chat yet: the line was not sent.");
    return true;
  }
  if (command.kind == CommandKind::kDesignate) {
    Designate(command);
    return true;
  }
  if (command.kind == CommandKind::kOther && (IsWord(command.word, "/rejoin") || IsWord(command.word, "/resign"))) {
    bool ok = true;
    if (HandOver(timeout_ms, &ok)) return ok;
  }
  const int64_t id = NextId();
  Translation t = TranslateCommand(command, id, decoder_);
  if (!t.ok) {
    AddLocal(t.error_answers ? kEvError : kEvInfo, t.error);
    return true;
  }
  return SendRequest(id, Sent{t.kind, std::move(t.target), t.target_id, std::move(t.request)}, timeout_ms);
}

bool ApiSession::SendRequest(int64_t id, Sent sent, int timeout_ms) {
  decoder_.Expect(id, sent.kind, sent.target, sent.target_id);
  std::string request = sent.request;
  {
    std::lock_guard<std::mutex> lock(turn_mutex_);
    // Answers that never come must not pile up; ids only grow, so the first is the oldest.
    if (in_flight_.size() >= ApiDecoder::kMaxRequests) in_flight_.erase(in_flight_.begin());
    in_flight_[id] = std::move(sent);
  }
  return Send(request, timeout_ms);
}

void ApiSession::Designate(const OutgoingCommand& command) {
  // The name is checked as for any command on a user; nothing is sent.
  Translation t = TranslateCommand(command, 0, decoder_);
  if (!t.ok) {
    AddLocal(t.error_answers ? kEvError : kEvInfo, t.error);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(turn_mutex_);
    heir_ = t.target;
    heir_id_ = t.target_id;
  }
  AddLocal(kEvInfo, t.target + " is your new designated heir.");
}

uint64_t ApiSession::HeirPresent() const {
  std::string heir;
  uint64_t heir_id;
  {
    std::lock_guard<std::mutex> lock(turn_mutex_);
    heir = heir_;
    heir_id = heir_id_;
  }
  uint64_t id = 0;
  return heir_id != 0 && decoder_.FindUser(heir, &id) && id == heir_id ? heir_id : 0;
}

bool ApiSession::HandOver(int timeout_ms, bool* ok) {
  const uint64_t heir_id = HeirPresent();
  if (!operator_ || heir_id == 0) return false;
  std::string heir;
  {
    std::lock_guard<std::mutex> lock(turn_mutex_);
    heir = std::move(heir_);
    heir_.clear();
    heir_id_ = 0;  // the designation is spent
  }
  const int64_t id = NextId();
  *ok = SendRequest(id, Sent{RequestKind::kSetModerator, heir, heir_id, SetModeratorRequest(id, heir_id)}, timeout_ms);
  return true;
}

void ApiSession::AddLocal(int id, std::string_view text) {
  std::lock_guard<std::mutex> lock(local_mutex_);
  local_.emplace_back();
  FillEvent(&local_.back(), id, "", 0, text);
  has_local_ = true;
}

void ApiSession::TakeLocalEvents(std::vector<ChatEvent>* out) {
  std::lock_guard<std::mutex> lock(local_mutex_);
  out->insert(out->end(), local_.begin(), local_.end());
  local_.clear();
  has_local_ = false;
}

void ApiSession::Close(int timeout_ms) {
  Interrupt();
  const uint64_t heir_id = Joined() && operator_ ? HeirPresent() : 0;
  std::lock_guard<std::mutex> lock(io_mutex_);
  if (!over_ && !ws_->Failed()) {
    // Leaving hands operator status to the designated heir, as on the text gateway.
    if (heir_id != 0) ws_->SendText(SetModeratorRequest(NextId(), heir_id), timeout_ms);
    const int64_t id = NextId();
    ws_->SendText(DisconnectRequest(id), timeout_ms);
    ws_->SendClose(timeout_ms);
  }
  tls_->Shutdown();
}

}  // namespace tolvik::api
