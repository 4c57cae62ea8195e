#include "net/api/api_session.h"

#include <fcntl.h>

#include <thread>

#include "net/api/api_requests.h"
#include "net/api/tls_stream.h"
#include "net/api/websocket_channel.h"
#include "net/api/websocket_handshake.h"

namespace tolvik::api {
namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

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
    events->insert(events->end(), scratch_.begin(), scratch_.end());
    if (kind == ApiDecoder::Kind::kDisconnect) {
      open = false;
      break;
    }
    if (kind != ApiDecoder::Kind::kResponse || !answer.known) continue;
    if (answer.failed && answer.status.IsRateLimit()) hold_until_ms_ = now + kRateLimitPauseMs;
    if (!OnLoginAnswer(answer, events)) {
      open = false;
      break;
    }
  }
  if (!open) over_ = true;
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
  if (answer.kind == RequestKind::kConnect && answer.failed) {
    events->emplace_back();
    FillEvent(&events->back(), kEvError, "", 0, "The chat connection was refused: " + DescribeStatus(answer.status));
    return false;
  }
  return true;
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
  // After a rate-limit answer the server gets a rest before the next request.
  int64_t wait = hold_until_ms_.load() - NowMs();
  if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(wait, kRateLimitPauseMs)));
  const int64_t id = NextId();
  Translation t = TranslateCommand(command, id, decoder_);
  if (!t.ok) {
    AddLocal(t.error_answers ? kEvError : kEvInfo, t.error);
    return true;
  }
  decoder_.Expect(id, t.kind, t.target, t.target_id);
  return Send(t.request, timeout_ms);
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
  std::lock_guard<std::mutex> lock(io_mutex_);
  if (!over_ && !ws_->Failed()) {
    const int64_t id = NextId();
    ws_->SendText(DisconnectRequest(id), timeout_ms);
    ws_->SendClose(timeout_ms);
  }
  tls_->Shutdown();
}

}  // namespace tolvik::api
