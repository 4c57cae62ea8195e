#pragma once
// The HTTP upgrade that opens a WebSocket, both ends, over a TLS stream.
#include <atomic>
#include <string>
#include <string_view>

namespace tolvik::api {

class TlsStream;

// The value of field `name` (any case) in an HTTP header whose lines end in
// CRLF, spaces and tabs around it dropped; empty when the header has none.
// The request or status line is not a field.
std::string HttpHeaderField(const std::string& header, const char* name);

// The Sec-WebSocket-Accept value that answers `key`.
std::string WebSocketAcceptFor(std::string_view key);

// Client: asks for the "json" subprotocol on `path` at `host_header` and
// checks the answer. Bytes that came after the answer's header (the first
// frames, when the server is quick) are left in `extra`. A set `cancel`
// ends every wait within kCancelCheckMs.
bool ClientUpgrade(TlsStream& tls, const std::string& host_header, const std::string& path, int timeout_ms,
                   std::string* extra, std::string* error, const std::atomic<bool>* cancel = nullptr);

// Server: reads one upgrade request and accepts it; false for anything else
// (a plain HTTP request gets a 400 answer). `path` receives the requested path.
bool ServerUpgrade(TlsStream& tls, int timeout_ms, std::string* path, std::string* error);

}  // namespace tolvik::api
