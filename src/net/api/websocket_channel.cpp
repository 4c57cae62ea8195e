#include "net/api/websocket_channel.h"

#include "net/openssl.h"
#include <poll.h>

#include <chrono>
#include <cstring>

#include "net/tls_stream.h"

namespace tolvik::api {

WebSocketChannel::WebSocketChannel(Role role, TlsStream& tls, MessageHandler on_message, std::string pending)
    : tls_(tls), on_message_(std::move(on_message)), client_(role == Role::kClient), pending_(std::move(pending)) {
  wslay_frame_callbacks callbacks{SendCallback, RecvCallback, GenmaskCallback};
  if (wslay_frame_context_init(&ctx_, &callbacks, this) != 0) {
    ctx_ = nullptr;
    failed_ = true;
  }
}

WebSocketChannel::~WebSocketChannel() {
  if (ctx_ != nullptr) wslay_frame_context_free(ctx_);
}

// The frame layer reads "no bytes" as "try later"; whether that was the end
// of the stream, a failure, an empty stream or this pump's share used up is
// kept here.
ssize_t WebSocketChannel::RecvCallback(uint8_t* buf, size_t len, int, void* self) {
  auto* ch = static_cast<WebSocketChannel*>(self);
  if (ch->pending_pos_ < ch->pending_.size()) {
    size_t n = std::min(len, ch->pending_.size() - ch->pending_pos_);
    std::memcpy(buf, ch->pending_.data() + ch->pending_pos_, n);
    ch->pending_pos_ += n;
    if (ch->pending_pos_ == ch->pending_.size()) {
      std::string().swap(ch->pending_);
      ch->pending_pos_ = 0;
    }
    return static_cast<ssize_t>(n);
  }
  if (ch->read_left_ == 0) return -1;
  long n = ch->tls_.Read(buf, std::min(len, ch->read_left_));
  if (n > 0) {
    ch->read_left_ -= static_cast<size_t>(n);
    return n;
  }
  if (n == 0)
    ch->eof_ = true;
  else if (n == kTlsFailed)
    ch->io_failed_ = true;
  else
    ch->starved_ = true;
  return -1;
}

ssize_t WebSocketChannel::SendCallback(const uint8_t* data, size_t len, int, void* self) {
  auto* ch = static_cast<WebSocketChannel*>(self);
  long n = ch->tls_.Write(data, len);
  if (n > 0) return n;
  if (n == kTlsFailed) ch->io_failed_ = true;
  return -1;
}

int WebSocketChannel::GenmaskCallback(uint8_t* buf, size_t len, void*) {
  return RAND_bytes(buf, static_cast<int>(len)) == 1 ? 0 : -1;
}

bool WebSocketChannel::Pump() { return Pump(Limits{}); }

bool WebSocketChannel::Pump(const Limits& limits) {
  more_pending_ = false;
  if (ctx_ == nullptr || failed_) return false;
  read_left_ = limits.bytes;
  size_t handed = 0;
  while (!close_received_) {
    if (handed >= limits.messages) {
      more_pending_ = true;
      break;
    }
    starved_ = false;
    wslay_frame_iocb iocb{};
    ssize_t r = wslay_frame_recv(ctx_, &iocb);
    if (r == WSLAY_ERR_WANT_READ) {
      // An empty TLS read means nothing is held above the socket, so its
      // readiness tells when to come back. Short of that, the frame layer
      // only wants more of a header or payload already under way.
      if (eof_ || io_failed_ || starved_) break;
      if (read_left_ == 0) {
        more_pending_ = true;
        break;
      }
      continue;
    }
    if (r < 0) {
      failed_ = true;
      return false;
    }
    if (!in_frame_ && !OnFrameStart(iocb)) {
      failed_ = true;
      return false;
    }
    (frame_is_control_ ? frame_ : message_).append(reinterpret_cast<const char*>(iocb.data), iocb.data_length);
    frame_left_ -= std::min<uint64_t>(frame_left_, iocb.data_length);
    if (frame_left_ == 0) {
      in_frame_ = false;
      if (OnFrame(iocb.opcode, iocb.fin != 0)) ++handed;
      if (failed_) return false;
    }
  }
  if (io_failed_) failed_ = true;
  return !(failed_ || eof_ || close_received_);
}

bool WebSocketChannel::OnFrameStart(const wslay_frame_iocb& iocb) {
  // A server never masks its frames, and without an agreed extension the
  // reserved bits mean nothing: the client must fail the connection.
  if (iocb.rsv != 0 || (client_ && iocb.mask != 0)) return false;
  in_frame_ = true;
  frame_left_ = iocb.payload_length;
  frame_is_control_ = (iocb.opcode & 0x8) != 0;
  if (frame_is_control_) {
    frame_.clear();
    return iocb.payload_length <= 125 && iocb.fin != 0;
  }
  // Data frames go straight into the message: what is held never passes
  // the message cap.
  if (iocb.opcode == WSLAY_TEXT_FRAME || iocb.opcode == WSLAY_BINARY_FRAME) {
    if (in_message_) return false;  // a new message before the last one ended
    message_.clear();
    in_message_ = true;
  } else if (iocb.opcode != WSLAY_CONTINUATION_FRAME || !in_message_) {
    return false;
  }
  return message_.size() + iocb.payload_length <= kMaxMessage;
}

bool WebSocketChannel::OnFrame(uint8_t opcode, bool fin) {
  switch (opcode) {
    case WSLAY_PING:
      if (!SendFrame(WSLAY_PONG, frame_, kControlTimeoutMs)) failed_ = true;
      return false;
    case WSLAY_PONG:
      ++pongs_;
      return false;
    case WSLAY_CONNECTION_CLOSE:
      close_received_ = true;
      SendClose(kControlTimeoutMs);  // the answer the closing handshake wants
      return false;
    case WSLAY_TEXT_FRAME:
    case WSLAY_BINARY_FRAME:
    case WSLAY_CONTINUATION_FRAME:
      break;
    default:
      failed_ = true;
      return false;
  }
  if (!fin) return false;
  in_message_ = false;
  if (on_message_) on_message_(message_);
  message_.clear();
  return true;
}

bool WebSocketChannel::SendFrame(uint8_t opcode, std::string_view payload, int timeout_ms) {
  if (ctx_ == nullptr || failed_) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  wslay_frame_iocb iocb{};
  iocb.fin = 1;
  iocb.opcode = opcode;
  iocb.mask = client_ ? 1 : 0;
  iocb.payload_length = payload.size();
  iocb.data = reinterpret_cast<const uint8_t*>(payload.data());
  iocb.data_length = payload.size();
  // The frame layer remembers a header it sent part of; it is called again
  // with what is left until the whole frame is out.
  while (true) {
    ssize_t r = wslay_frame_send(ctx_, &iocb);
    if (r >= 0) {
      iocb.data += r;
      iocb.data_length -= static_cast<size_t>(r);
      if (iocb.data_length == 0) return true;
      continue;
    }
    if (r != WSLAY_ERR_WANT_WRITE || io_failed_) break;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (!WaitForSocket(tls_.Fd(), POLLOUT, static_cast<int>(left.count()), cancel_) && cancel_ != nullptr &&
        cancel_->load())
      break;
  }
  // A frame cut short leaves the stream unusable.
  failed_ = true;
  return false;
}

bool WebSocketChannel::SendText(std::string_view text, int timeout_ms) {
  return SendFrame(WSLAY_TEXT_FRAME, text, timeout_ms);
}

bool WebSocketChannel::SendPing(int timeout_ms) { return SendFrame(WSLAY_PING, "ping", timeout_ms); }

bool WebSocketChannel::SendClose(int timeout_ms) {
  if (close_sent_) return true;
  close_sent_ = true;
  static const char kNormal[] = {0x03, static_cast<char>(0xE8)};  // 1000, big-endian
  return SendFrame(WSLAY_CONNECTION_CLOSE, std::string_view(kNormal, 2), timeout_ms);
}

}  // namespace tolvik::api
