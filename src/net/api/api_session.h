#pragma once
// One connection to the chat API: TLS, the WebSocket, the login exchange,
// decoding what arrives into event records and sending the queue's lines as
// requests. Everything above the records (handlers, moderation, scripts,
// both front-ends) is the same for either transport.
//
// What arrives (Botapichat.*)              record the handlers get
//   UserUpdateEventRequest, first one        2010 own name (the bot itself)
//   ConnectEventRequest {channel}            1007 channel, then 1001 for the bot
//   UserUpdateEventRequest, new id, listing  1001 user present
//   UserUpdateEventRequest, new id, later    1002 join
//   UserUpdateEventRequest, known id         1009 flags/product, only on a change
//   UserLeaveEventRequest                    1003 leave
//   MessageEventRequest Whisper              1004 whisper
//   MessageEventRequest Channel              1005 talk
//   MessageEventRequest Emote                1023 emote
//   MessageEventRequest ServerInfo           1018 information
//   MessageEventRequest ServerError          1019 error
//   DisconnectEventRequest                   the connection ends (lost, as a close)
// Flags: Admin -> 0x01, Moderator -> 0x02 (operator), Speaker -> 0x04,
// MuteGlobal -> 0x20; MuteWhisper has no bit. ProgramId "W2BN" -> "[W2BN]",
// none -> "[CHAT]". A listing ends at the first other event or after
// ApiDecoder::kListingQuietMs without an update.
//
// What the queue sends (OutgoingCommand)    request
//   plain text                               SendMessageRequest {message}
//   /w /m /msg /whisper NAME text            SendWhisperRequest {message, user_id}; a whisper
//                                            queued by WhisperTo names its user as given
//   /me /emote text                          SendEmoteRequest {message}
//   /kick NAME [reason]                      KickUserRequest {user_id} (reason dropped)
//   /ban NAME [reason]                       BanUserRequest {user_id} (reason dropped)
//   /unban NAME                              UnbanUserRequest {toon_name}
//   /designate NAME                          SendSetModeratorRequest {user_id}
//   /join and any other /command             nothing; a local 1018 line says the API lacks it
//   a NAME not in the channel                nothing; a local 1019 "NAME is not logged on in this channel."
// Login: AuthenticateRequest {api_key} with the handshake, ConnectRequest
// once it is accepted. A refused key gives a 1019 line with the status and
// the gateway's "Login Incorrect" raw line, so the login state and the retry
// rule are the text gateway's. Close: DisconnectRequest, then a close frame.
//
// Confirmations differ between the transports. The text gateway answers
// /ban, /unban, /designate (and /kick) with information or error lines that
// do not say which command they answer, and the pending actions match them
// oldest first. The API answers each request by its id, so the answer is
// matched to its request here and turned into the line the gateway would
// have sent ("NAME was banned by BOT.", "NAME was kicked out of the channel
// by BOT.", "NAME was unbanned by BOT.", "NAME is your new designated heir.")
// or, for a failed status, a 1019 line ("Ban of NAME failed: bad request
// (8/2)"). A kick or ban may also be confirmed by the target's leave, which
// can come before the answer: whichever comes first confirms, exactly once.
// A rate-limit status (6/8) is reported the same way and holds the next
// request back for kRateLimitPauseMs.
//
// The queue hands over each line already taken apart (outgoing_command.h),
// so the request is built from its parts; ApiTransport puts this session
// under ChatConnection (see net/transport.h).
//
// Threads: the reading thread calls Read(), any thread calls SendCommand()
// (the sender thread, or the main thread for unpaced lines). Every TLS and
// WebSocket call is made under one lock, since an SSL object is not safe
// for concurrent use.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/api/api_decoder.h"
#include "net/api/api_url.h"
#include "net/chat_event.h"
#include "net/outgoing_command.h"

namespace tolvik::api {

class TlsStream;
class WebSocketChannel;

class ApiSession {
 public:
  // After a rate-limit answer the next request waits this long.
  static constexpr int kRateLimitPauseMs = 2000;
  static constexpr int kHandshakeTimeoutMs = 10000;
  // One Read() takes at most this much off the wire and decodes at most this
  // many messages; the rest waits for the next (see ReadPending()).
  static constexpr size_t kReadBytesPerCall = 64 * 1024;
  static constexpr size_t kReadMessagesPerCall = 512;

  ~ApiSession();
  ApiSession(const ApiSession&) = delete;
  ApiSession& operator=(const ApiSession&) = delete;

  // Blocking: TLS (certificate and host checked against the system's trust
  // store plus `ca_file`), the WebSocket upgrade, then the authentication
  // request. `fd` is a connected socket; the session makes it non-blocking
  // but does not own it. Setting `cancel` makes every wait give up within
  // 100 ms.
  static std::unique_ptr<ApiSession> Open(int fd, const ApiUrl& url, const std::string& api_key,
                                          const std::string& ca_file, std::string* error,
                                          const std::atomic<bool>* cancel = nullptr);

  // Reads what arrived, up to the per-call limits, and appends the records
  // to dispatch. False once the connection is over (closed by the server,
  // or failed).
  bool Read(std::vector<ChatEvent>* events);
  // The last Read() stopped at its limits: more may be held where a poll of
  // the socket does not show it, so Read() is due again without waiting.
  bool ReadPending() const;
  // Sends the command as a request (a further line in its text as one more
  // command each). A command that cannot be sent becomes a local record for
  // TakeLocalEvents(). False when the connection failed.
  bool SendCommand(const OutgoingCommand& command, int timeout_ms);
  // The local error records produced by SendLines() since the last call.
  void TakeLocalEvents(std::vector<ChatEvent>* out);
  bool HasLocalEvents() const { return has_local_.load(); }
  // The close sequence: a disconnect request, then a close frame.
  void Close(int timeout_ms);

  const ApiDecoder& Channel() const { return decoder_; }

 private:
  ApiSession(int fd, std::unique_ptr<TlsStream> tls, std::unique_ptr<WebSocketChannel> ws);
  bool Send(const std::string& json, int timeout_ms);
  bool SendOne(const OutgoingCommand& command, int timeout_ms);
  int64_t NextId() { return next_id_.fetch_add(1); }
  void AddLocal(int id, std::string_view text);
  // What the login answers lead to.
  bool OnLoginAnswer(const ApiDecoder::Answer& answer, std::vector<ChatEvent>* events);

  int fd_;
  std::unique_ptr<TlsStream> tls_;
  std::unique_ptr<WebSocketChannel> ws_;
  std::mutex io_mutex_;  // every TLS and WebSocket call
  std::vector<std::string> inbox_;
  ApiDecoder decoder_;
  std::atomic<int64_t> next_id_{1};
  std::atomic<int64_t> hold_until_ms_{0};
  std::mutex local_mutex_;
  std::vector<ChatEvent> local_;
  std::atomic<bool> has_local_{false};
  std::vector<ChatEvent> scratch_;
  bool over_ = false;
};

}  // namespace tolvik::api
