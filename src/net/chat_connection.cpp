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

#include "net/outgoing_command.h"
#include "net/text_transport.h"

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
    : retry_pause_([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }),
      transport_(std::make_shared<TextTransport>()) {
  static_assert(std::string_view(kLoginPromptWord) == TextTransport::kLoginPromptWord);
}

ChatConnection::~ChatConnection() {
  if (log_ != nullptr) std::fclose(log_);
}

void ChatConnection::SetCaFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(config_mutex_);
  ca_file_ = path;
}

std::shared_ptr<Transport> ChatConnection::TransportNow() const {
  std::lock_guard<std::mutex> lock(transport_mutex_);
  return transport_;
}

void ChatConnection::SetTransport(std::shared_ptr<Transport> transport) {
  std::shared_ptr<Transport> old;
  {
    std::lock_guard<std::mutex> lock(transport_mutex_);
    old = std::exchange(transport_, std::move(transport));
  }
  // A sender waiting for the old connection's turn gives up now.
  if (old) old->Interrupt();
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
  // The transport is chosen afresh for every connect, from the server value.
  std::shared_ptr<Transport> transport = MakeTransport(server_);
  OpenValues values;
  values.server = server_;
  values.port = port_;
  values.secret = password_;
  {
    std::lock_guard<std::mutex> lock(config_mutex_);
    values.ca_file = ca_file_;
  }
  values.per_address_timeout_ms = per_address_timeout_ms_.load();
  ConnectOutcome outcome = transport->Open(values, cancel_connect_);
  {
    std::lock_guard<std::mutex> lock(failure_mutex_);
    last_failure_ = outcome.failure;
  }
  if (outcome.fd < 0) {
    if (outcome.failure.kind == FailureKind::Other) Log("%s", outcome.failure.detail.c_str());
    return false;
  }
  SetTransport(std::move(transport));
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
  SetTransport(nullptr);
  CloseIfValid(fd);
}

void ChatConnection::CloseSocketGracefully() {
  // The transport says goodbye first (over the chat API: a disconnect
  // request, then the WebSocket's close frame).
  if (std::shared_ptr<Transport> transport = TransportNow()) {
    std::lock_guard<std::mutex> sending(send_mutex_);
    if (socket_.load() >= 0) transport->Close(500);
  }
  // Our side is shut for writing; the descriptor is now ours alone.
  int fd = ReplaceSocket(-1, SHUT_WR);
  SetTransport(nullptr);
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
  Log("Attempting to connect...");
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (OpenSocket()) {
      Greet();
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
  if (!OpenSocket()) return false;
  Greet();
  return true;
}

void ChatConnection::Greet() {
  std::lock_guard<std::mutex> sending(send_mutex_);
  int fd = socket_.load();
  std::shared_ptr<Transport> transport = TransportNow();
  if (fd >= 0 && transport) Written(fd, transport->Greet(fd, send_timeout_ms_.load()));
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
  std::shared_ptr<Transport> transport = TransportNow();
  if (fd < 0 || !transport) return false;
  return Written(fd, transport->SendRaw(fd, std::string_view(data, len), send_timeout_ms_.load()));
}

bool ChatConnection::SendCommand(const OutgoingCommand& command) {
  std::lock_guard<std::mutex> sending(send_mutex_);
  int fd = socket_.load();
  std::shared_ptr<Transport> transport = TransportNow();
  if (fd < 0 || !transport) return false;
  return Written(fd, transport->Send(fd, command, send_timeout_ms_.load()));
}

bool ChatConnection::SendQueued(const OutgoingCommand* command) {
  std::shared_ptr<Transport> transport = TransportNow();
  if (!transport || (command == nullptr && !transport->HasHeldRequests())) return false;
  transport->AwaitTurn();
  std::lock_guard<std::mutex> sending(send_mutex_);
  int fd = socket_.load();
  if (fd < 0 || TransportNow() != transport) return false;
  const int timeout = send_timeout_ms_.load();
  bool ok = !transport->HasHeldRequests() || Written(fd, transport->SendHeldRequests(fd, timeout));
  if (command != nullptr && ok) ok = Written(fd, transport->Send(fd, *command, timeout));
  return ok;
}

void ChatConnection::InterruptSends() {
  if (std::shared_ptr<Transport> transport = TransportNow()) transport->Interrupt();
}

bool ChatConnection::Written(int fd, WriteResult result) {
  if (result == WriteResult::kStalled) {
    // The peer does not drain: count the connection as lost. The descriptor
    // stays open (the send lock keeps it ours) until its owner closes it.
    write_stalled_ = true;
    ::shutdown(fd, SHUT_RDWR);
  }
  return result == WriteResult::kOk;
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
  std::shared_ptr<Transport> transport = TransportNow();
  if (!transport) return false;
  Transport::ReadOutcome read = transport->Read(fd, *this);
  if (!read.ok) {
    read_error_ = read.error;
    return false;
  }
  if (read.peer_closed) peer_closed_ = true;
  if (transport->HasHeldRequests() && sender_wake_) sender_wake_();
  DeliverLocalEvents();
  OnReadComplete();
  return true;
}

void ChatConnection::ProcessBytes(const char* data, size_t len) {
  if (std::shared_ptr<Transport> transport = TransportNow()) transport->Feed(data, len, *this);
}

void ChatConnection::OnTransportEvent(ChatEvent& event, bool protocol_event) {
  if (protocol_event) OnEventLineArrived();
  DispatchEvent(event);
}

void ChatConnection::DeliverLocalEvents() {
  std::shared_ptr<Transport> transport = TransportNow();
  if (!transport || !transport->HasLocalEvents()) return;
  std::vector<ChatEvent> events;
  transport->TakeLocalEvents(&events);
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
