#include "net/chat_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <thread>
#include <utility>

#include "net/api/api_session.h"
#include "net/api/api_url.h"
#include "net/tcp_connector.h"

namespace tolvik {
namespace {

void CopyBounded(char* dst, size_t size, const char* src) {
  if (src == nullptr) src = "";
  size_t n = strnlen(src, size - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

void CloseIfValid(int fd) {
  if (fd >= 0) ::close(fd);
}

// Raw lines are cut to this length before wrapping; handlers only ever see
// the first 255 characters after the opening quote.
constexpr size_t kRawLineKeep = 300;

// Control bytes (below 0x20, and 0x7F) in names and texts read as blanks, so
// whatever splits words, checks a line or passes it on sees the same thing and
// no CR, LF or NUL from another user's text can reach a line we send.
void BlankControlBytes(char* s) {
  for (; *s != '\0'; ++s) {
    const auto c = static_cast<unsigned char>(*s);
    if (c < 0x20 || c == 0x7F) *s = ' ';
  }
}

}  // namespace

ChatConnection::ChatConnection()
    : retry_pause_([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }) {
  // The login prompt is answered on this word; a read that ends inside it
  // must not hide it (TCP may cut the prompt anywhere).
  reader_.setWatchWord(kLoginPromptWord);
}

ChatConnection::~ChatConnection() {
  if (log_ != nullptr) std::fclose(log_);
}

void ChatConnection::SetCaFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(api_config_mutex_);
  ca_file_ = path;
}

bool ChatConnection::UsesApi() const { return api::IsApiServer(server_); }

bool ChatConnection::OpenApi(int fd) {
  api::ApiUrl url;
  api::ParseApiUrl(server_, &url);
  std::string ca_file;
  {
    std::lock_guard<std::mutex> lock(api_config_mutex_);
    ca_file = ca_file_;
  }
  std::string error;
  std::shared_ptr<api::ApiSession> session = api::ApiSession::Open(fd, url, password_, ca_file, &error);
  if (!session) {
    Log("%s", error.c_str());
    std::lock_guard<std::mutex> lock(failure_mutex_);
    last_failure_ = ConnectFailure{FailureKind::Other, error};
    return false;
  }
  SetApiSession(std::move(session));
  return true;
}

void ChatConnection::DropApi() { SetApiSession(nullptr); }

std::shared_ptr<api::ApiSession> ChatConnection::ApiSessionNow() const {
  std::lock_guard<std::mutex> lock(api_mutex_);
  return api_;
}

void ChatConnection::SetApiSession(std::shared_ptr<api::ApiSession> session) {
  std::shared_ptr<api::ApiSession> old;
  {
    std::lock_guard<std::mutex> lock(api_mutex_);
    old = std::exchange(api_, std::move(session));
  }
  // `old` goes here, outside the lock, once no reader holds it any more.
}

void ChatConnection::SetLoginInfo(const char* account, const char* password, const char* server, uint16_t port) {
  CopyBounded(account_, sizeof account_, account);
  CopyBounded(own_name_, sizeof own_name_, account);
  CopyBounded(password_, sizeof password_, password);
  CopyBounded(server_, sizeof server_, server);
  port_ = port;
}

int ChatConnection::SetHomeChannel(const char* name) {
  CopyBounded(home_channel_, sizeof home_channel_, name);
  return static_cast<int>(std::strlen(home_channel_)) + 1;
}

void ChatConnection::SetCurrentChannel(const char* name) { CopyBounded(current_channel_, sizeof current_channel_, name); }
void ChatConnection::SetOwnName(const char* name) { CopyBounded(own_name_, sizeof own_name_, name); }

bool ChatConnection::OpenSocket() {
  // A chat API address connects to its host and port; TLS and the
  // WebSocket then run over the connected socket before it is installed.
  const bool use_api = UsesApi();
  api::ApiUrl url;
  std::string host;
  if (use_api) {
    if (!api::ParseApiUrl(server_, &url)) {
      std::lock_guard<std::mutex> lock(failure_mutex_);
      last_failure_ = ConnectFailure{FailureKind::Other, "the chat API address is not valid"};
      return false;
    }
    // The resolver takes host[:port]; an IPv6 address keeps its brackets.
    host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  }
  ConnectOutcome outcome = ConnectToServer(use_api ? host.c_str() : server_, use_api ? url.port : port_,
                                           per_address_timeout_ms_.load(), cancel_connect_);
  {
    std::lock_guard<std::mutex> lock(failure_mutex_);
    last_failure_ = outcome.failure;
  }
  if (outcome.fd < 0) return false;
  if (use_api && !OpenApi(outcome.fd)) {
    ::close(outcome.fd);  // a failed attempt's socket is never reused
    return false;
  }
  CloseIfValid(ReplaceSocket(outcome.fd, SHUT_RDWR));
  peer_closed_ = false;
  write_stalled_ = false;
  return true;
}

ConnectFailure ChatConnection::LastFailure() const {
  std::lock_guard<std::mutex> lock(failure_mutex_);
  return last_failure_;
}

int ChatConnection::ReplaceSocket(int fd, int how) {
  // The descriptor is closed only while no send is using it, so its number
  // can never be reused under a sender's feet. Shutting it down first makes a
  // send blocked on it return at once.
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    int old = socket_.load();
    if (old >= 0) ::shutdown(old, how);
  }
  std::lock_guard<std::mutex> sending(send_mutex_);
  std::lock_guard<std::mutex> lock(state_mutex_);
  return socket_.exchange(fd);
}

void ChatConnection::CloseSocket() {
  int fd = ReplaceSocket(-1, SHUT_RDWR);
  DropApi();
  CloseIfValid(fd);
}

void ChatConnection::CloseSocketGracefully() {
  // Over the chat API the server is told first: a disconnect request, then
  // the WebSocket's close frame.
  if (std::shared_ptr<api::ApiSession> session = ApiSessionNow()) {
    std::lock_guard<std::mutex> sending(send_mutex_);
    session->Close(500);
  }
  // Our side is shut for writing; the descriptor is now ours alone.
  int fd = ReplaceSocket(-1, SHUT_WR);
  DropApi();
  if (fd < 0) return;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  char sink[1024];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    if (::recv(fd, sink, sizeof sink, 0) <= 0) break;
  }
  ::close(fd);
}

int ChatConnection::ConnectWithRetries(int attempts) {
  reset_reader_ = true;
  Log("Attempting to connect...");
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (OpenSocket()) {
      // The chat API has no selector: its login request went out with the handshake.
      if (!UsesApi()) SendLine("%c%c\r\n", 3, 4);
      return kStateWaitingForLoginPrompt;
    }
    if (cancel_connect_) return kStateConnectionFailed;
    Log("Connect() failed.");
    retry_pause_(kRetryPauseMs);
  }
  Log("Unable to log on after %d tries - giving up.", attempts);
  return kStateConnectionFailed;
}

bool ChatConnection::ConnectOnce() {
  reset_reader_ = true;
  if (!OpenSocket()) return false;
  SendLine("%c%c\r\n", 3, 4);
  return true;
}

bool ChatConnection::SendLine(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return false;
  return SendRaw(line, strnlen(line, sizeof line));
}

bool ChatConnection::SendRaw(const char* data, size_t len) {
  std::lock_guard<std::mutex> sending(send_mutex_);
  int fd = socket_.load();
  if (fd < 0) return false;
  if (std::shared_ptr<api::ApiSession> session = ApiSessionNow()) {
    if (session->SendLines(std::string_view(data, len), send_timeout_ms_.load())) return true;
    // As with the text gateway: a connection that takes nothing is given up.
    write_stalled_ = true;
    ::shutdown(fd, SHUT_RDWR);
    return false;
  }
  return SendAll(fd, data, len);
}

bool ChatConnection::SendAll(int fd, const char* data, size_t len) {
  // Never blocks for long: a server that stops reading must not hold up the
  // thread that writes (the main thread for the login reply and the exit line).
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(send_timeout_ms_.load());
  while (len > 0) {
    ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      len -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      // The peer does not drain: count the connection as lost. The descriptor
      // stays open (the send lock keeps it ours) until its owner closes it.
      write_stalled_ = true;
      ::shutdown(fd, SHUT_RDWR);
      return false;
    }
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left));  // the next send tells what came of it
  }
  return true;
}

bool ChatConnection::Log(const char* format, ...) {
  std::lock_guard<std::mutex> lock(log_mutex_);
  if (log_ == nullptr) return false;
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fprintf(log_, "%s\r\n", text);
  std::fflush(log_);
  return true;
}

void ChatConnection::AttachLog(FILE* log) {
  std::lock_guard<std::mutex> lock(log_mutex_);
  if (log_ != nullptr) std::fclose(log_);
  log_ = log;
}

bool ChatConnection::ReadAvailable() {
  int fd = socket_.load();
  if (fd < 0) return false;
  if (reset_reader_.exchange(false)) reader_.reset();
  if (std::shared_ptr<api::ApiSession> session = ApiSessionNow()) {
    // The session drains the socket and the TLS layer's buffer alike, so
    // nothing waits unseen when the socket stops being readable.
    api_events_.clear();
    if (!session->Read(&api_events_)) peer_closed_ = true;
    for (ChatEvent& ev : api_events_) {
      if (ev.id != kEvRawLine) OnEventLineArrived();
      DispatchEvent(ev);
    }
    DeliverLocalEvents();
    OnReadComplete();
    return true;
  }
  pollfd p{fd, POLLIN, 0};
  int ready = ::poll(&p, 1, 0);
  if (ready != 0) {
    ssize_t n;
    do {
      n = ::recv(fd, reader_.writePtr(), reader_.writeSpace(), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      read_error_ = errno;
      return false;
    }
    if (n == 0) peer_closed_ = true;
    reader_.commit(static_cast<size_t>(n), [this](char* line) { HandleLine(line); });
  }
  OnReadComplete();
  return true;
}

void ChatConnection::ProcessBytes(const char* data, size_t len) {
  reader_.feed(data, len, [this](char* line) { HandleLine(line); });
}

void ChatConnection::HandleLine(char* line) {
  if (line[0] >= '0' && line[0] <= '9') {
    OnEventLineArrived();
    DispatchLine(line);
    return;
  }
  // Anything else (prompts, notices) travels as a wrapped 1008 event.
  if (char* cr = std::strchr(line, '\r')) *cr = '\0';
  char wrapped[kRawLineKeep + 16];
  std::snprintf(wrapped, sizeof wrapped, "1008 \"%.*s\"", static_cast<int>(kRawLineKeep), line);
  DispatchLine(wrapped);
}

void ChatConnection::DeliverLocalEvents() {
  std::shared_ptr<api::ApiSession> session = ApiSessionNow();
  if (!session || !session->HasLocalEvents()) return;
  std::vector<ChatEvent> events;
  session->TakeLocalEvents(&events);
  for (ChatEvent& ev : events) DispatchEvent(ev);
}

int ChatConnection::DispatchLine(const char* line) {
  ChatEvent ev;
  ParseEvent(line, &ev);
  return DispatchEvent(ev);
}

int ChatConnection::DispatchEvent(ChatEvent& ev) {
  BlankControlBytes(ev.name);
  BlankControlBytes(ev.text);
  const char* n = ev.name;
  const uint32_t f = ev.flags;
  const char* t = ev.text;
  switch (ev.id) {
    case kEvShowUser: OnShowUser(n, f, t); return 1;
    case kEvJoin: OnJoin(n, f, t); return 1;
    case kEvUserFlags: OnUserFlags(n, f, t); return 1;
    case kEvLeave: OnLeave(n, f, t); return 1;
    case kEvTalk: OnTalk(n, f, t); return 1;
    case kEvBroadcast: OnBroadcast(n, f, t); return 1;
    case kEvChannel: OnChannel(n, f, t); return 1;
    case kEvWhisper: return OnWhisper(n, f, t);
    case kEvWhisperSent: OnWhisperSent(n, f, t); return 1;
    case kEvEmote: OnEmote(n, f, t); return 1;
    case kEvChannelFull: OnChannelFull(n, f, t); return 1;
    case kEvChannelDoesNotExist: OnChannelDoesNotExist(n, f, t); return 1;
    case kEvChannelRestricted: OnChannelRestricted(n, f, t); return 1;
    case kEvInfo: OnInfo(n, f, t); return 1;
    case kEvError: OnError(n, f, t); return 1;
    case kEvName: OnName(n, f, t); return 1;
    case kEvNull: OnNull(n, f, t); return 1;
    case kEvRawLine: OnRawLine(n, f, t); return 1;
    default:
      Log("Unhandled event ID %d", ev.id);
      return 0;
  }
}

int ChatConnection::OnReadComplete() { return 1; }
int ChatConnection::OnShowUser(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnJoin(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnUserFlags(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnLeave(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnTalk(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnBroadcast(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnChannel(const char*, uint32_t, const char* text) {
  SetCurrentChannel(text);
  return 1;
}
int ChatConnection::OnWhisper(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnWhisperSent(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnEmote(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnChannelFull(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnChannelDoesNotExist(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnChannelRestricted(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnInfo(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnError(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnName(const char* name, uint32_t, const char*) {
  SetOwnName(name);
  return 1;
}
int ChatConnection::OnNull(const char*, uint32_t, const char*) { return 1; }
int ChatConnection::OnRawLine(const char*, uint32_t, const char*) { return 1; }

}  // namespace tolvik
