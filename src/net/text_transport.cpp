#include "net/text_transport.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "net/outgoing_command.h"

namespace tolvik {
namespace {

// Raw lines are cut to this length before wrapping; handlers only ever see
// the first 255 characters after the opening quote.
constexpr size_t kRawLineKeep = 300;

}  // namespace

const TransportTraits TextTransport::kTraits = {
    "Password", "password", "Please enter password", "Password:", 29, 20, 29,
};

TextTransport::TextTransport() {
  // The login prompt is answered on this word; a read that ends inside it
  // must not hide it (TCP may cut the prompt anywhere).
  reader_.setWatchWord(kLoginPromptWord);
}

ConnectOutcome TextTransport::Open(const OpenValues& values, const std::atomic<bool>& cancel) {
  return ConnectToServer(values.server.c_str(), values.port, values.per_address_timeout_ms, cancel);
}

WriteResult TextTransport::Greet(int fd, int timeout_ms) { return WriteAll(fd, "\x03\x04\r\n", 4, timeout_ms); }

Transport::ReadOutcome TextTransport::Read(int fd, EventSink& sink) {
  ReadOutcome outcome;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) == 0) return outcome;
  ssize_t n;
  do {
    n = ::recv(fd, reader_.writePtr(), reader_.writeSpace(), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    outcome.ok = false;
    outcome.error = errno;
    return outcome;
  }
  if (n == 0) outcome.peer_closed = true;
  reader_.commit(static_cast<size_t>(n), [&](char* line) { HandleLine(line, sink); });
  return outcome;
}

void TextTransport::Feed(const char* data, size_t len, EventSink& sink) {
  reader_.feed(data, len, [&](char* line) { HandleLine(line, sink); });
}

void TextTransport::HandleLine(char* line, EventSink& sink) {
  ChatEvent ev;
  if (line[0] >= '0' && line[0] <= '9') {
    ParseEvent(line, &ev);
    sink.OnTransportEvent(ev, true);
    return;
  }
  // Anything else (prompts, notices) travels as a wrapped 1008 event.
  if (char* cr = std::strchr(line, '\r')) *cr = '\0';
  char wrapped[kRawLineKeep + 16];
  std::snprintf(wrapped, sizeof wrapped, "1008 \"%.*s\"", static_cast<int>(kRawLineKeep), line);
  ParseEvent(wrapped, &ev);
  sink.OnTransportEvent(ev, false);
}

WriteResult TextTransport::Send(int fd, const OutgoingCommand& command, int timeout_ms) {
  return WriteAll(fd, command.line.data(), command.line.size(), timeout_ms);
}

WriteResult TextTransport::SendRaw(int fd, std::string_view bytes, int timeout_ms) {
  return WriteAll(fd, bytes.data(), bytes.size(), timeout_ms);
}

WriteResult TextTransport::WriteAll(int fd, const char* data, size_t len, int timeout_ms) {
  // Never blocks for long: a server that stops reading must not hold up the
  // thread that writes (the main thread for the login reply and the exit line).
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (len > 0) {
    ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      len -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return WriteResult::kFailed;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return WriteResult::kStalled;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left));  // the next send tells what came of it
  }
  return WriteResult::kOk;
}

}  // namespace tolvik
