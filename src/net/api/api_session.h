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
//   /designate NAME                          nothing: NAME is recorded as the heir, and the
//                                            local 1018 "NAME is your new designated heir."
//   /rejoin /resign, while operator with     SendSetModeratorRequest {user_id} for the heir:
//   the heir present                         what leaving hands over on the text gateway
//   /join and any other /command             nothing; a local 1018 line says the API lacks it
//   a NAME not in the channel                nothing; a local 1019 "NAME is not logged on in this channel."
// Message texts lose their control characters and are cut to the text
// gateway's line length on a character boundary (MessageText()).
//
// Login: AuthenticateRequest {api_key} with the handshake, ConnectRequest
// once it is accepted. A refused key gives a 1019 line with the status and
// the gateway's "Login Incorrect" raw line, so the login state and the retry
// rule are the text gateway's. Until the ConnectResponse has accepted us,
// nothing else the server sends is dispatched (so the connection is not yet
// established), and the sender waits. Close: SendSetModeratorRequest for the
// recorded heir while the bot is operator and the heir present (designate,
// then leave, as on the text gateway), DisconnectRequest, a close frame.
//
// Operator status therefore changes hands only when the bot leaves, or when
// it is told to rejoin: never because a designation was made, by a command
// or by the bot's own choice of the best heir.
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
//
// Statuses that are not failures of the request:
//   area 6 (rate limited, timed out, ...)    the request goes again after a pause of
//                                            kFirstPauseMs, doubled by each further
//                                            one up to kLongestPauseMs; the queue
//                                            waits meanwhile (AwaitTurn), a close never
//   8/1 "not connected to chat"              the connection is over: it ends as a lost
//                                            one and the retry rule takes over
//
// The queue hands over each line already taken apart (outgoing_command.h),
// so the request is built from its parts; ApiTransport puts this session
// under ChatConnection (see net/transport.h).
//
// Threads: the reading thread calls Read(), any thread calls SendCommand()
// (the sender thread, or the main thread for unpaced lines). Every TLS and
// WebSocket call is made under one lock, since an SSL object is not safe
// for concurrent use. The sender waits in AwaitTurn() under no lock of the
// connection; Interrupt() and Close() end the wait.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
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
  // The pause an area-6 answer asks for: the first, and the longest.
  static constexpr int kFirstPauseMs = 1000;
  static constexpr int kLongestPauseMs = 10000;
  // The pause after one of `previous_ms` (0: none ran since a request went through).
  static int NextPauseMs(int previous_ms) {
    return previous_ms <= 0 ? kFirstPauseMs : previous_ms >= kLongestPauseMs / 2 ? kLongestPauseMs : previous_ms * 2;
  }
  static constexpr int kHandshakeTimeoutMs = 10000;

  ~ApiSession();
  ApiSession(const ApiSession&) = delete;
  ApiSession& operator=(const ApiSession&) = delete;

  // Blocking: TLS (certificate and host checked against the system's trust
  // store plus `ca_file`), the WebSocket upgrade, then the authentication
  // request. `fd` is a connected socket; the session makes it non-blocking
  // but does not own it.
  static std::unique_ptr<ApiSession> Open(int fd, const ApiUrl& url, const std::string& api_key,
                                          const std::string& ca_file, std::string* error);

  // Reads what arrived and appends the records to dispatch. False once the
  // connection is over (closed by the server, or failed).
  bool Read(std::vector<ChatEvent>* events);
  // Sends the command as a request (a further line in its text as one more
  // command each). A command that cannot be sent becomes a local record for
  // TakeLocalEvents(). False when the connection failed.
  bool SendCommand(const OutgoingCommand& command, int timeout_ms);
  // The local error records produced by SendLines() since the last call.
  void TakeLocalEvents(std::vector<ChatEvent>* out);
  bool HasLocalEvents() const { return has_local_.load(); }
  // The close sequence: the heir's operator status (see above), a
  // disconnect request, then a close frame. Ends every wait first.
  void Close(int timeout_ms);

  // Sender thread, outside the connection's send lock: returns once the
  // chat is joined and no pause is running, or at once after Interrupt().
  void AwaitTurn();
  void Interrupt();
  // Requests an area-6 answer sent back, kept until the pause is over.
  bool HasHeldRequests() const { return has_held_.load(); }
  // Sends them again (sender thread). False when the connection failed.
  bool SendHeldRequests(int timeout_ms);

  const ApiDecoder& Channel() const { return decoder_; }

 private:
  ApiSession(int fd, std::unique_ptr<TlsStream> tls, std::unique_ptr<WebSocketChannel> ws);
  // A request sent and not yet answered, as it would be sent again.
  struct Sent {
    RequestKind kind;
    std::string target;
    uint64_t target_id;
    std::string request;
  };

  bool Send(const std::string& json, int timeout_ms);
  bool SendOne(const OutgoingCommand& command, int timeout_ms);
  // Remembers request `id` until its answer, then sends it.
  bool SendRequest(int64_t id, Sent sent, int timeout_ms);
  // "/designate NAME": records the heir.
  void Designate(const OutgoingCommand& command);
  // "/rejoin" while operator with the heir present: hands operator status
  // over. False when there is nothing to hand over.
  bool HandOver(int timeout_ms, bool* ok);
  // The recorded heir's id, while the heir is still in the channel (0 if not).
  uint64_t HeirPresent() const;
  int64_t NextId() { return next_id_.fetch_add(1); }
  void AddLocal(int id, std::string_view text);
  bool Joined() const { return joined_.load(); }
  // What the login answers lead to.
  bool OnLoginAnswer(const ApiDecoder::Answer& answer, std::vector<ChatEvent>* events);
  // An area-6 answer: the request waits for the pause and goes again.
  void HoldForPause(const ApiDecoder::Answer& answer, int64_t now_ms, std::vector<ChatEvent>* events);
  // Any other answer settles its request.
  void Settle(const ApiDecoder::Answer& answer, std::vector<ChatEvent>* events);
  // Follows the bot's own operator status in the records about it.
  void NoteOwnStatus(const std::vector<ChatEvent>& records);

  int fd_;
  std::unique_ptr<TlsStream> tls_;
  std::unique_ptr<WebSocketChannel> ws_;
  std::mutex io_mutex_;  // every TLS and WebSocket call
  std::vector<std::string> inbox_;
  ApiDecoder decoder_;
  std::atomic<int64_t> next_id_{1};
  // The sender's turn, the requests awaiting answers and the heir.
  mutable std::mutex turn_mutex_;
  std::condition_variable turn_cv_;
  std::atomic<bool> joined_{false};  // the ConnectResponse accepted us (set under turn_mutex_)
  bool interrupted_ = false;
  int64_t hold_until_ms_ = 0;
  int pause_ms_ = 0;  // the pause running or last run; 0 after a request went through
  std::map<int64_t, Sent> in_flight_;
  std::deque<std::pair<int64_t, Sent>> held_;
  std::atomic<bool> has_held_{false};
  std::string heir_;
  uint64_t heir_id_ = 0;
  std::atomic<bool> operator_{false};
  std::mutex local_mutex_;
  std::vector<ChatEvent> local_;
  std::atomic<bool> has_local_{false};
  std::vector<ChatEvent> scratch_;
  bool over_ = false;
};

}  // namespace tolvik::api
