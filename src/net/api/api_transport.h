#pragma once
// The chat API as a transport: an ApiSession over the connection's socket.
// See net/transport.h for how it differs from the text gateway.
//
// Steps of the API's own belong here, not in ChatConnection: whatever must go
// out before DisconnectRequest goes into Close(); a session that decides the
// connection is over (a status that means "not connected") says so from
// Read() as a closed peer, and the retry rule takes over as for any lost
// connection. Silence brings no read at all: a keepalive deadline needs a
// tick from the document's fast timer, which the interface does not have yet.
#include <memory>
#include <vector>

#include "net/api/api_session.h"
#include "net/transport.h"

namespace tolvik::api {

class ApiTransport final : public Transport {
 public:
  static const TransportTraits kTraits;

  const TransportTraits& Traits() const override { return kTraits; }
  ConnectOutcome Open(const OpenValues& values, const std::atomic<bool>& cancel) override;
  WriteResult Greet(int, int) override { return WriteResult::kOk; }
  ReadOutcome Read(int fd, EventSink& sink) override;
  bool HasLocalEvents() const override { return session_ && session_->HasLocalEvents(); }
  void TakeLocalEvents(std::vector<ChatEvent>* out) override;
  WriteResult Send(int fd, const OutgoingCommand& command, int timeout_ms) override;
  // Only requests go out: the text protocol's bytes are refused.
  WriteResult SendRaw(int, std::string_view, int) override { return WriteResult::kFailed; }
  void Close(int timeout_ms) override;
  void AwaitTurn() override;
  void Interrupt() override;
  bool HasHeldRequests() const override { return session_ && session_->HasHeldRequests(); }
  WriteResult SendHeldRequests(int fd, int timeout_ms) override;

 private:
  std::unique_ptr<ApiSession> session_;
  std::vector<ChatEvent> events_;
};

}  // namespace tolvik::api
