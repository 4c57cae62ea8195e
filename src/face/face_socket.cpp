#include "face/face_socket.h"

#include "net/openssl.h"
#include <strings.h>

#include <cstring>

#include "face/face_stream.h"
#include "net/websocket_handshake.h"

namespace tolvik {
namespace {

std::string NewKey() {
  unsigned char raw[16];
  RAND_bytes(raw, sizeof raw);
  static const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < sizeof raw; i += 3) {
    const uint32_t n = (uint32_t{raw[i]} << 16) | (i + 1 < sizeof raw ? uint32_t{raw[i + 1]} << 8 : 0) |
                       (i + 2 < sizeof raw ? raw[i + 2] : 0);
    out += kB64[(n >> 18) & 63];
    out += kB64[(n >> 12) & 63];
    out += i + 1 < sizeof raw ? kB64[(n >> 6) & 63] : '=';
    out += i + 2 < sizeof raw ? kB64[n & 63] : '=';
  }
  return out;
}

}  // namespace

FaceSocket::FaceSocket(Role role, FaceStream& stream, uint64_t max_message)
    : role_(role), stream_(stream), max_message_(max_message) {
  wslay_frame_callbacks callbacks{SendCallback, RecvCallback, GenmaskCallback};
  if (wslay_frame_context_init(&ctx_, &callbacks, this) != 0) {
    ctx_ = nullptr;
    Fail("out of memory");
  }
}

FaceSocket::~FaceSocket() {
  if (ctx_ != nullptr) wslay_frame_context_free(ctx_);
}

void FaceSocket::Fail(std::string why) {
  if (!failed_) error_ = std::move(why);
  failed_ = true;
}

void FaceSocket::StartClient(const std::string& host) {
  std::string why;
  if (!openssl::Load(&why)) {
    Fail(why);
    return;
  }
  key_ = NewKey();
  out_ += "GET " + std::string(kPath) + " HTTP/1.1\r\nHost: " + host +
          "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + key_ +
          "\r\nSec-WebSocket-Version: 13\r\n\r\n";
}

ssize_t FaceSocket::RecvCallback(uint8_t* buf, size_t len, int, void* self) {
  auto* s = static_cast<FaceSocket*>(self);
  if (s->pending_pos_ < s->pending_.size()) {
    const size_t n = std::min(len, s->pending_.size() - s->pending_pos_);
    std::memcpy(buf, s->pending_.data() + s->pending_pos_, n);
    s->pending_pos_ += n;
    return static_cast<ssize_t>(n);
  }
  const long n = s->stream_.Read(buf, len);
  if (n > 0) return n;
  if (n == 0) s->eof_ = true;
  if (n == kFaceFailed) s->io_failed_ = true;
  return -1;
}

// Frames go to the output buffer whole; Flush() writes them out.
ssize_t FaceSocket::SendCallback(const uint8_t* data, size_t len, int, void* self) {
  auto* s = static_cast<FaceSocket*>(self);
  s->out_.append(reinterpret_cast<const char*>(data), len);
  return static_cast<ssize_t>(len);
}

int FaceSocket::GenmaskCallback(uint8_t* buf, size_t len, void*) {
  return RAND_bytes(buf, static_cast<int>(len)) == 1 ? 0 : -1;
}

bool FaceSocket::ReadUpgrade() {
  char chunk[2048];
  while (true) {
    const size_t end = header_.find("\r\n\r\n");
    if (end != std::string::npos) {
      pending_ = header_.substr(end + 4);
      header_.resize(end + 2);
      break;
    }
    if (header_.size() > kMaxUpgradeHeader) {
      Fail("the WebSocket upgrade's header is too long");
      return false;
    }
    const long n = stream_.Read(chunk, sizeof chunk);
    if (n > 0) {
      header_.append(chunk, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) eof_ = true;
    if (n == kFaceFailed) Fail("the connection failed");
    return false;
  }
  if (role_ == Role::kServer) {
    const std::string key = api::HttpHeaderField(header_, "Sec-WebSocket-Key");
    if (header_.compare(0, 4, "GET ") != 0 || key.empty() ||
        strcasecmp(api::HttpHeaderField(header_, "Upgrade").c_str(), "websocket") != 0) {
      out_ += "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      Fail("not a WebSocket upgrade");
      return false;
    }
    // The accept value is a hash from the TLS library.
    std::string why;
    if (!openssl::Load(&why)) {
      Fail(why);
      return false;
    }
    out_ += "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " +
            api::WebSocketAcceptFor(key) + "\r\n\r\n";
  } else {
    if (header_.compare(0, 12, "HTTP/1.1 101") != 0 ||
        api::HttpHeaderField(header_, "Sec-WebSocket-Accept") != api::WebSocketAcceptFor(key_)) {
      Fail("the bot did not open a WebSocket");
      return false;
    }
  }
  header_.clear();
  header_.shrink_to_fit();
  upgraded_ = true;
  return true;
}

bool FaceSocket::Pump(const MessageHandler& on_message) {
  if (ctx_ == nullptr || Over()) return false;
  if (!upgraded_ && !ReadUpgrade()) return !Over();
  while (!close_received_ && !failed_) {
    wslay_frame_iocb iocb{};
    const ssize_t r = wslay_frame_recv(ctx_, &iocb);
    if (r == WSLAY_ERR_WANT_READ) {
      if (eof_ || io_failed_) break;
      if (stream_.HasBuffered()) continue;
      break;
    }
    if (r < 0) {
      Fail("a broken WebSocket frame");
      return false;
    }
    if (!in_frame_) {
      // Without an agreed extension the reserved bits mean nothing; a client
      // masks every frame and a server none.
      const bool masked_right = role_ == Role::kServer ? iocb.mask != 0 : iocb.mask == 0;
      if (iocb.rsv != 0 || !masked_right) {
        Fail("a WebSocket frame the protocol does not allow");
        return false;
      }
      in_frame_ = true;
      frame_left_ = iocb.payload_length;
      frame_.clear();
      const bool control = (iocb.opcode & 0x8) != 0;
      const uint64_t so_far = control ? 0 : message_.size();
      if ((control && iocb.payload_length > 125) || so_far + iocb.payload_length > max_message_) {
        Fail("a message longer than " + std::to_string(max_message_) + " bytes");
        return false;
      }
    }
    frame_.append(reinterpret_cast<const char*>(iocb.data), iocb.data_length);
    frame_left_ -= std::min<uint64_t>(frame_left_, iocb.data_length);
    if (frame_left_ == 0) {
      in_frame_ = false;
      OnFrame(iocb.opcode, iocb.fin != 0, on_message);
    }
  }
  if (io_failed_) Fail("the connection failed");
  return !Over();
}

void FaceSocket::OnFrame(uint8_t opcode, bool fin, const MessageHandler& on_message) {
  switch (opcode) {
    case WSLAY_PING:
      QueueFrame(WSLAY_PONG, frame_);
      return;
    case WSLAY_PONG:
      return;
    case WSLAY_CONNECTION_CLOSE:
      close_received_ = true;
      SendClose();
      return;
    case WSLAY_TEXT_FRAME:
    case WSLAY_BINARY_FRAME:
      if (in_message_) return Fail("a new WebSocket message before the last one ended");
      message_ = std::move(frame_);
      in_message_ = true;
      break;
    case WSLAY_CONTINUATION_FRAME:
      if (!in_message_) return Fail("a WebSocket continuation without a message");
      message_ += frame_;
      break;
    default:
      return Fail("an unknown WebSocket frame");
  }
  if (!fin) return;
  in_message_ = false;
  std::string message = std::move(message_);
  message_.clear();
  if (on_message) on_message(message);
}

void FaceSocket::QueueFrame(uint8_t opcode, std::string_view payload) {
  if (ctx_ == nullptr || failed_) return;
  wslay_frame_iocb iocb{};
  iocb.fin = 1;
  iocb.opcode = opcode;
  iocb.mask = role_ == Role::kClient ? 1 : 0;
  iocb.payload_length = payload.size();
  iocb.data = reinterpret_cast<const uint8_t*>(payload.data());
  iocb.data_length = payload.size();
  // The send callback takes everything, so the frame goes out in one call
  // (a header first when the payload is empty).
  while (true) {
    const ssize_t r = wslay_frame_send(ctx_, &iocb);
    if (r < 0) return Fail("the WebSocket frame could not be made");
    iocb.data += r;
    iocb.data_length -= static_cast<size_t>(r);
    if (iocb.data_length == 0) return;
  }
}

void FaceSocket::SendText(std::string_view text) {
  if (close_sent_) return;
  QueueFrame(WSLAY_TEXT_FRAME, text);
}

void FaceSocket::SendClose() {
  if (close_sent_ || !upgraded_) return;
  static const char kNormal[] = {0x03, static_cast<char>(0xE8)};  // 1000, big-endian
  QueueFrame(WSLAY_CONNECTION_CLOSE, std::string_view(kNormal, 2));
  close_sent_ = true;
}

bool FaceSocket::Flush() {
  while (out_pos_ < out_.size()) {
    const long n = stream_.Write(out_.data() + out_pos_, out_.size() - out_pos_);
    if (n > 0) {
      out_pos_ += static_cast<size_t>(n);
      continue;
    }
    if (n == kFaceWouldBlock) break;
    Fail("the connection failed");
    return false;
  }
  // The sent part goes once it is most of the buffer, so a long backlog is
  // not copied again for every write.
  if (out_pos_ == out_.size()) {
    out_.clear();
    out_pos_ = 0;
  } else if (out_pos_ > (64u << 10) && out_pos_ * 2 > out_.size()) {
    out_.erase(0, out_pos_);
    out_pos_ = 0;
  }
  return true;
}

}  // namespace tolvik
