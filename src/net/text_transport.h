#pragma once
// The text gateway as a transport: a plain TCP connection, the two-byte
// protocol selector, and the line reader that turns the byte stream into
// event lines (a line that does not begin with a digit travels wrapped as
// event 1008). See net/transport.h for how it differs from the chat API.
#include "net/line_reader.h"
#include "net/transport.h"

namespace tolvik {

class TextTransport final : public Transport {
 public:
  static const TransportTraits kTraits;
  // A raw line holding this word is the server asking for the login values.
  static constexpr const char* kLoginPromptWord = "password.";

  TextTransport();

  const TransportTraits& Traits() const override { return kTraits; }
  ConnectOutcome Open(const OpenValues& values, const std::atomic<bool>& cancel) override;
  // The selector: the four bytes 03 04 0D 0A.
  WriteResult Greet(int fd, int timeout_ms) override;
  ReadOutcome Read(int fd, EventSink& sink) override;
  void Feed(const char* data, size_t len, EventSink& sink) override;
  // The command's line as the queue made it.
  WriteResult Send(int fd, const OutgoingCommand& command, int timeout_ms) override;
  WriteResult SendRaw(int fd, std::string_view bytes, int timeout_ms) override;

  // Writes all of `data`, waiting at most `timeout_ms` for a peer that does
  // not take it.
  static WriteResult WriteAll(int fd, const char* data, size_t len, int timeout_ms);

 private:
  void HandleLine(char* line, EventSink& sink);

  LineReader reader_{LineReader::Remainder::KeepEventLines};
};

}  // namespace tolvik
