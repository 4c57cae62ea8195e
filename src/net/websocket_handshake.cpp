#include "net/websocket_handshake.h"

#include "net/openssl.h"
#include <poll.h>
#include <strings.h>

#include <chrono>
#include <cstring>

#include "net/tls_stream.h"

namespace tolvik::api {
namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kMaxHeader = 8192;
constexpr char kGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

std::string Base64(const unsigned char* data, size_t len) {
  std::string out(4 * ((len + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(len));
  out.resize(static_cast<size_t>(n));
  return out;
}

// Reads until the blank line that ends an HTTP header; the rest goes to `extra`.
bool ReadHeader(TlsStream& tls, int timeout_ms, std::string* header, std::string* extra, std::string* error,
                const std::atomic<bool>* cancel) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string buf;
  char chunk[2048];
  while (true) {
    size_t end = buf.find("\r\n\r\n");
    if (end != std::string::npos) {
      *header = buf.substr(0, end + 2);
      *extra = buf.substr(end + 4);
      return true;
    }
    if (buf.size() > kMaxHeader) {
      *error = "WebSocket upgrade: header too long";
      return false;
    }
    long n = tls.Read(chunk, sizeof chunk);
    if (n > 0) {
      buf.append(chunk, static_cast<size_t>(n));
      continue;
    }
    if (n != kTlsWouldBlock) {
      *error = "WebSocket upgrade: connection closed";
      return false;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !WaitForSocket(tls.Fd(), POLLIN, static_cast<int>(left), cancel)) {
      *error = cancel != nullptr && cancel->load() ? "WebSocket upgrade cancelled" : "WebSocket upgrade timed out";
      return false;
    }
  }
}

bool HasToken(const std::string& value, const char* token) {
  size_t len = std::strlen(token);
  size_t start = 0;
  while (start <= value.size()) {
    size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    size_t a = start, b = comma;
    while (a < b && value[a] == ' ') ++a;
    while (b > a && value[b - 1] == ' ') --b;
    if (b - a == len && strncasecmp(value.c_str() + a, token, len) == 0) return true;
    start = comma + 1;
  }
  return false;
}

}  // namespace

std::string HttpHeaderField(const std::string& header, const char* name) {
  size_t len = std::strlen(name);
  size_t pos = header.find("\r\n");
  while (pos != std::string::npos && pos + 2 < header.size()) {
    size_t start = pos + 2;
    size_t end = header.find("\r\n", start);
    if (end == std::string::npos) break;
    if (end - start > len && header[start + len] == ':' && strncasecmp(header.c_str() + start, name, len) == 0) {
      size_t v = start + len + 1;
      while (v < end && (header[v] == ' ' || header[v] == '\t')) ++v;
      size_t e = end;
      while (e > v && (header[e - 1] == ' ' || header[e - 1] == '\t')) --e;
      return header.substr(v, e - v);
    }
    pos = end;
  }
  return {};
}

std::string WebSocketAcceptFor(std::string_view key) {
  if (!openssl::Load()) return std::string();
  std::string joined(key);
  joined += kGuid;
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), digest);
  return Base64(digest, sizeof digest);
}

bool ClientUpgrade(TlsStream& tls, const std::string& host_header, const std::string& path, int timeout_ms,
                   std::string* extra, std::string* error, const std::atomic<bool>* cancel) {
  unsigned char nonce[16];
  if (RAND_bytes(nonce, sizeof nonce) != 1) {
    *error = "No random bytes for the WebSocket key";
    return false;
  }
  const std::string key = Base64(nonce, sizeof nonce);
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host_header +
                        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + key +
                        "\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Protocol: json\r\n\r\n";
  if (!tls.WriteAll(request.data(), request.size(), timeout_ms, cancel)) {
    *error = "WebSocket upgrade: the request could not be sent";
    return false;
  }
  std::string header;
  if (!ReadHeader(tls, timeout_ms, &header, extra, error, cancel)) return false;
  if (header.compare(0, 12, "HTTP/1.1 101") != 0) {
    *error = "WebSocket upgrade refused: " + header.substr(0, header.find("\r\n"));
    return false;
  }
  if (!HasToken(HttpHeaderField(header, "Upgrade"), "websocket") ||
      !HasToken(HttpHeaderField(header, "Connection"), "upgrade") ||
      HttpHeaderField(header, "Sec-WebSocket-Accept") != WebSocketAcceptFor(key)) {
    *error = "WebSocket upgrade: the server's answer does not match the request";
    return false;
  }
  std::string protocol = HttpHeaderField(header, "Sec-WebSocket-Protocol");
  if (!protocol.empty() && strcasecmp(protocol.c_str(), "json") != 0) {
    *error = "WebSocket upgrade: the server chose the subprotocol " + protocol;
    return false;
  }
  return true;
}

bool ServerUpgrade(TlsStream& tls, int timeout_ms, std::string* path, std::string* error) {
  std::string header, extra;
  if (!ReadHeader(tls, timeout_ms, &header, &extra, error, nullptr)) return false;
  const std::string key = HttpHeaderField(header, "Sec-WebSocket-Key");
  if (header.compare(0, 4, "GET ") != 0 || key.empty() ||
      !HasToken(HttpHeaderField(header, "Upgrade"), "websocket")) {
    static const char kBad[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    tls.WriteAll(kBad, sizeof kBad - 1, timeout_ms);
    *error = "Not a WebSocket upgrade request";
    return false;
  }
  size_t sp = header.find(' ', 4);
  *path = header.substr(4, sp == std::string::npos ? std::string::npos : sp - 4);
  std::string answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Accept: " + WebSocketAcceptFor(key) + "\r\n";
  if (HasToken(HttpHeaderField(header, "Sec-WebSocket-Protocol"), "json")) answer += "Sec-WebSocket-Protocol: json\r\n";
  answer += "\r\n";
  return tls.WriteAll(answer.data(), answer.size(), timeout_ms);
}

}  // namespace tolvik::api
