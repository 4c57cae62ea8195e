#include "net/api/api_transport.h"

#include <unistd.h>

#include "net/api/api_url.h"

namespace tolvik::api {

const TransportTraits ApiTransport::kTraits = {
    "API key", "API key", "Please enter API key", "API key:", 127, 127, 127,
};

ConnectOutcome ApiTransport::Open(const OpenValues& values, const std::atomic<bool>& cancel) {
  ConnectOutcome outcome;
  ApiUrl url;
  if (!ParseApiUrl(values.server.c_str(), &url)) {
    outcome.failure = ConnectFailure{FailureKind::Other, "the chat API address is not valid"};
    return outcome;
  }
  // The resolver takes host[:port]; an IPv6 address keeps its brackets.
  const std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  outcome = ConnectToServer(host.c_str(), url.port, values.per_address_timeout_ms, cancel);
  if (outcome.fd < 0) return outcome;
  // TLS and the WebSocket run over the connected socket before it is installed.
  std::string error;
  session_ = ApiSession::Open(outcome.fd, url, values.secret, values.ca_file, &error);
  if (!session_) {
    ::close(outcome.fd);  // a failed attempt's socket is never reused
    outcome.fd = -1;
    outcome.failure = ConnectFailure{FailureKind::Other, error};
  }
  return outcome;
}

Transport::ReadOutcome ApiTransport::Read(int, EventSink& sink) {
  ReadOutcome outcome;
  if (!session_) return outcome;
  // The session drains the socket and the TLS layer's buffer alike, so
  // nothing waits unseen when the socket stops being readable.
  events_.clear();
  outcome.peer_closed = !session_->Read(&events_);
  for (ChatEvent& ev : events_) sink.OnTransportEvent(ev, ev.id != kEvRawLine);
  return outcome;
}

void ApiTransport::TakeLocalEvents(std::vector<ChatEvent>* out) {
  if (session_) session_->TakeLocalEvents(out);
}

WriteResult ApiTransport::Send(int, const OutgoingCommand& command, int timeout_ms) {
  if (!session_) return WriteResult::kFailed;
  // As with the text gateway: a connection that takes nothing is given up.
  return session_->SendCommand(command, timeout_ms) ? WriteResult::kOk : WriteResult::kStalled;
}

void ApiTransport::Close(int timeout_ms) {
  if (session_) session_->Close(timeout_ms);
}

void ApiTransport::AwaitTurn() {
  if (session_) session_->AwaitTurn();
}

void ApiTransport::Interrupt() {
  if (session_) session_->Interrupt();
}

WriteResult ApiTransport::SendHeldRequests(int, int timeout_ms) {
  if (!session_) return WriteResult::kFailed;
  return session_->SendHeldRequests(timeout_ms) ? WriteResult::kOk : WriteResult::kStalled;
}

}  // namespace tolvik::api
