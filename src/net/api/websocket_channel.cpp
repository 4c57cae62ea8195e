#include "net/api/websocket_channel.h"

#include <openssl/rand.h>
#include <poll.h>

#include <chrono>
#include <cstring>

#include "net/api/tls_stream.h"

namespace tolvik::api {

WebSocketChannel::WebSocketChannel(Role role, TlsStream& tls, MessageHandler on_message, std::string pending)
    : tls_(tls), on_message_(std::move(on_message)), pending_(std::move(pending)) {
  wslay_event_callbacks callbacks{};
  callbacks.recv_callback = RecvCallback;
  callbacks.send_callback = SendCallback;
  callbacks.genmask_callback = GenmaskCallback;
  callbacks.on_msg_recv_callback = OnMessage;
  int r = role == Role::kClient ? wslay_event_context_client_init(&ctx_, &callbacks, this)
                                : wslay_event_context_server_init(&ctx_, &callbacks, this);
  if (r != 0) {
    ctx_ = nullptr;
    failed_ = true;
    return;
  }
  wslay_event_config_set_max_recv_msg_length(ctx_, kMaxMessage);
}

WebSocketChannel::~WebSocketChannel() {
  if (ctx_ != nullptr) wslay_event_context_free(ctx_);
}

ssize_t WebSocketChannel::RecvCallback(wslay_event_context_ptr ctx, uint8_t* buf, size_t len, int, void* self) {
  auto* ch = static_cast<WebSocketChannel*>(self);
  if (ch->pending_pos_ < ch->pending_.size()) {
    size_t n = std::min(len, ch->pending_.size() - ch->pending_pos_);
    std::memcpy(buf, ch->pending_.data() + ch->pending_pos_, n);
    ch->pending_pos_ += n;
    if (ch->pending_pos_ == ch->pending_.size()) std::string().swap(ch->pending_);
    if (ch->pending_.empty()) ch->pending_pos_ = 0;
    return static_cast<ssize_t>(n);
  }
  long n = ch->tls_.Read(buf, len);
  if (n > 0) return n;
  if (n == kTlsWouldBlock) {
    wslay_event_set_error(ctx, WSLAY_ERR_WOULDBLOCK);
  } else {
    if (n == 0) ch->eof_ = true;
    wslay_event_set_error(ctx, WSLAY_ERR_CALLBACK_FAILURE);
  }
  return -1;
}

ssize_t WebSocketChannel::SendCallback(wslay_event_context_ptr ctx, const uint8_t* data, size_t len, int,
                                       void* self) {
  auto* ch = static_cast<WebSocketChannel*>(self);
  long n = ch->tls_.Write(data, len);
  if (n > 0) return n;
  wslay_event_set_error(ctx, n == kTlsWouldBlock ? WSLAY_ERR_WOULDBLOCK : WSLAY_ERR_CALLBACK_FAILURE);
  return -1;
}

int WebSocketChannel::GenmaskCallback(wslay_event_context_ptr, uint8_t* buf, size_t len, void*) {
  return RAND_bytes(buf, static_cast<int>(len)) == 1 ? 0 : -1;
}

void WebSocketChannel::OnMessage(wslay_event_context_ptr, const wslay_event_on_msg_recv_arg* arg, void* self) {
  auto* ch = static_cast<WebSocketChannel*>(self);
  if (arg->opcode == WSLAY_PONG) ++ch->pongs_;
  if (arg->opcode != WSLAY_TEXT_FRAME && arg->opcode != WSLAY_BINARY_FRAME) return;
  if (ch->on_message_)
    ch->on_message_(std::string_view(reinterpret_cast<const char*>(arg->msg), arg->msg_length));
}

bool WebSocketChannel::Pump() {
  if (ctx_ == nullptr || failed_) return false;
  // wslay reads until its callback would block; TLS records already decrypted
  // are drained by the same loop, since SSL_read serves them first.
  do {
    if (wslay_event_recv(ctx_) != 0) {
      failed_ = true;
      return false;
    }
  } while (tls_.HasBuffered() && wslay_event_want_read(ctx_));
  if (wslay_event_want_write(ctx_) && wslay_event_send(ctx_) != 0) {
    failed_ = true;
    return false;
  }
  if (eof_) return false;
  return !(wslay_event_get_close_received(ctx_) && !wslay_event_want_write(ctx_));
}

bool WebSocketChannel::Flush(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (wslay_event_want_write(ctx_)) {
    if (wslay_event_send(ctx_) != 0) {
      failed_ = true;
      return false;
    }
    if (!wslay_event_want_write(ctx_)) break;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{tls_.Fd(), POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
  return true;
}

bool WebSocketChannel::SendText(std::string_view text, int timeout_ms) {
  if (ctx_ == nullptr || failed_) return false;
  wslay_event_msg msg{WSLAY_TEXT_FRAME, reinterpret_cast<const uint8_t*>(text.data()), text.size()};
  if (wslay_event_queue_msg(ctx_, &msg) != 0) return false;
  return Flush(timeout_ms);
}

bool WebSocketChannel::SendPing(int timeout_ms) {
  if (ctx_ == nullptr || failed_) return false;
  static const uint8_t kPayload[] = "ping";
  wslay_event_msg msg{WSLAY_PING, kPayload, 4};
  if (wslay_event_queue_msg(ctx_, &msg) != 0) return false;
  return Flush(timeout_ms);
}

bool WebSocketChannel::SendClose(int timeout_ms) {
  if (ctx_ == nullptr || failed_) return false;
  if (wslay_event_queue_close(ctx_, WSLAY_CODE_NORMAL_CLOSURE, nullptr, 0) != 0) return false;
  return Flush(timeout_ms);
}

bool WebSocketChannel::CloseReceived() const { return ctx_ != nullptr && wslay_event_get_close_received(ctx_); }

}  // namespace tolvik::api
