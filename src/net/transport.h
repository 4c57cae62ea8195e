#pragma once
// The wire under ChatConnection. A connection speaks one of two transports,
// chosen afresh for each connect from the server value: "wss://..." is the
// chat API, anything else a text gateway (host or address, port 6112).
//
// What every transport does, in the order of a connection's life:
//   Open      on the connect worker: connects through the shared connector
//             (each address in turn, giving up within 100 ms of the cancel
//             flag) and sets up its protocol over the socket.
//   Greet     right after the socket is installed: what the protocol wants
//             to hear first.
//   Read      on the main thread when the socket is readable: hands every
//             event that arrived to the sink, as a parsed record.
//   Send      on any thread (the paced sender, or the main thread for the
//             leave line): one queued command.
//   Close     before our side of the socket is shut: the protocol's goodbye.
// ChatConnection keeps the socket itself (installing, swapping, shutting and
// closing it, the locks around it, a stalled write), the login values, the
// retry rule and the handlers; the transport keeps what it needs per
// connection, and is thrown away with the socket.
//
// How the two differ:
//                   text gateway                    chat API
//   Open            TCP connect                     TCP connect, TLS (certificate and
//                                                   host checked), WebSocket upgrade,
//                                                   AuthenticateRequest
//   Greet           the selector 03 04 0D 0A        nothing (the login went out in Open;
//                                                   ConnectRequest follows its answer)
//   Read            cuts lines; a digit line is     decodes JSON messages into records;
//                   an event, any other line is     answers requests by their id
//                   wrapped as 1008 "..."
//   Send            the command's line, byte for    a request built from the command's
//                   byte                            parts (see api/api_session.h)
//   SendRaw         the bytes as they are (the      refused: nothing but requests goes
//                   login reply)                    out
//   Close           nothing                         DisconnectRequest, then a close frame
//   local events    none                            refusals of commands it cannot send
//   AwaitTurn       never waits                     until the chat is joined; the pause
//                                                   after a rate-limit answer
//   secret          "Password", 29 characters       "API key", 127 characters
//   server value    29 characters                   127 characters
//
// Nothing outside src/net asks which transport is in use: labels and limits
// come from TransportTraitsFor().
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/chat_event.h"
#include "net/tcp_connector.h"

namespace tolvik {

struct OutgoingCommand;

// What the rest of the program needs to know of a server's transport.
struct TransportTraits {
  // The secret's name as the login values ask for it ("Password" or "API key"),
  // the same within a sentence ("password"), its prompt in the chat display
  // and its label on the Login page.
  const char* secret_name;
  const char* secret_noun;
  const char* secret_prompt;
  const char* secret_label;
  // Longest secret kept in [Init] and sent; longest the Login page takes.
  size_t secret_limit;
  size_t secret_entry_limit;
  // Longest server value kept in [Init].
  size_t server_limit;
};

// The traits of the transport a connect to `server` would use.
const TransportTraits& TransportTraitsFor(std::string_view server);
// The longest server value any transport takes (what an entry field allows).
inline constexpr size_t kLongestServerValue = 127;

// Where a transport hands what it read. `protocol_event` is false for a line
// that only carries text (a prompt or notice wrapped as 1008).
class EventSink {
 public:
  virtual void OnTransportEvent(ChatEvent& event, bool protocol_event) = 0;

 protected:
  ~EventSink() = default;
};

// What became of a write.
enum class WriteResult {
  kOk,
  kFailed,   // an error; the connection's reader will see it too
  kStalled,  // the peer took nothing for the send timeout: give the connection up
};

// The values a transport opens a connection with.
struct OpenValues {
  std::string server;
  uint16_t port = 6112;
  std::string secret;
  std::string ca_file;  // trusted besides the system's store (TLS only)
  int per_address_timeout_ms = 5000;
};

class Transport {
 public:
  virtual ~Transport() = default;

  virtual const TransportTraits& Traits() const = 0;

  // Connect worker. On success the outcome's descriptor is connected and the
  // protocol is ready; the caller owns the descriptor either way.
  virtual ConnectOutcome Open(const OpenValues& values, const std::atomic<bool>& cancel) = 0;
  // Connect worker, once the descriptor is installed as the connection's socket.
  virtual WriteResult Greet(int fd, int timeout_ms) = 0;

  // Main thread: reads what `fd` holds and hands every event to `sink`.
  struct ReadOutcome {
    bool ok = true;           // false: the read failed (`error` holds errno)
    bool peer_closed = false;  // the connection is over
    int error = 0;
  };
  virtual ReadOutcome Read(int fd, EventSink& sink) = 0;
  // Bytes as if they had been read off a text gateway (tests, benchmarks,
  // fuzzing); a transport without a text form ignores them.
  virtual void Feed(const char* data, size_t len, EventSink& sink) { (void)data, (void)len, (void)sink; }
  // Main thread: events the transport made itself since the last call.
  virtual bool HasLocalEvents() const { return false; }
  virtual void TakeLocalEvents(std::vector<ChatEvent>* out) { (void)out; }

  // Any thread, one at a time (the connection's send lock is held).
  virtual WriteResult Send(int fd, const OutgoingCommand& command, int timeout_ms) = 0;
  virtual WriteResult SendRaw(int fd, std::string_view bytes, int timeout_ms) = 0;

  // The sender thread, before it sends and outside the send lock: waits
  // while the transport holds the queue back (the chat API: until the chat
  // is joined, and for the pause a rate-limit answer asks for). Nothing else
  // ever waits behind it.
  virtual void AwaitTurn() {}
  // Any thread: ends every AwaitTurn() at once, now and later (the
  // connection is closed or replaced, or the sender stops).
  virtual void Interrupt() {}
  // Requests the transport keeps to send again once its turn comes (any
  // thread), and the sending of them (sender thread, send lock held).
  virtual bool HasHeldRequests() const { return false; }
  virtual WriteResult SendHeldRequests(int fd, int timeout_ms) {
    (void)fd, (void)timeout_ms;
    return WriteResult::kOk;
  }

  // The protocol's goodbye, sent before our side of the socket is shut.
  virtual void Close(int timeout_ms) { (void)timeout_ms; }
};

// A transport for a connect to `server`, not yet open.
std::unique_ptr<Transport> MakeTransport(std::string_view server);

}  // namespace tolvik
