#pragma once
// The client side of the chat: login values, connecting with its retry rule,
// the socket, and dispatching each event to one virtual handler per event.
// What is spoken over the socket is the business of one transport, chosen
// for each connect from the server value (net/transport.h): the text
// gateway (selector, line reader) or the chat API.
#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/chat_event.h"
#include "net/connect_failure.h"
#include "net/transport.h"

namespace tolvik {

struct OutgoingCommand;

// Connection states returned by ConnectWithRetries (the full set lives with the document).
inline constexpr int kStateWaitingForLoginPrompt = 2;
inline constexpr int kStateConnectionFailed = 3;

class ChatConnection : private EventSink {
 public:
  static constexpr uint16_t kDefaultPort = 6112;
  static constexpr int kConnectAttempts = 3;
  static constexpr int kRetryPauseMs = 5000;
  // How long one address of the server may take to answer a connect.
  static constexpr int kPerAddressTimeoutMs = 5000;
  // How long one write may wait for a peer that does not take what it is sent.
  static constexpr int kSendTimeoutMs = 2000;
  // A raw line holding this word is the server asking for the login values.
  static constexpr const char* kLoginPromptWord = "password.";


  ChatConnection();
  virtual ~ChatConnection();
  ChatConnection(const ChatConnection&) = delete;
  ChatConnection& operator=(const ChatConnection&) = delete;

  // Login values; the account is also the own name until the server names us.
  void SetLoginInfo(const char* account, const char* password, const char* server, uint16_t port);
  // Returns the length of the stored name plus one.
  int SetHomeChannel(const char* name);

  // One connection attempt: every address of the server in turn, each for
  // the per-address timeout; true on success. LastFailure() says why not.
  bool OpenSocket();
  ConnectFailure LastFailure() const;
  void CloseSocket();
  // Closes after letting what was just written reach the peer: our side is
  // shut down first and what the peer still sends is read and dropped (for
  // at most half a second), so no reset throws away the last lines.
  void CloseSocketGracefully();
  // Up to three attempts, pausing between them; on success the transport's
  // greeting goes out (the text gateway's selector). Returns the next
  // connection state (2 connected, 3 failed).
  int ConnectWithRetries(int attempts = kConnectAttempts);
  // One attempt, no pause; the greeting goes out on success.
  bool ConnectOnce();
  // Makes a connect attempt in progress (on another thread) give up now,
  // and every later one until AllowConnect(). The owner allows a new worker's
  // attempts before starting it, so a cancel can never be lost in between.
  void CancelConnect() { cancel_connect_ = true; }
  void AllowConnect() { cancel_connect_ = false; }

  // Formats (at most 255 characters) and writes the bytes at once, unpaced:
  // the text protocol's own lines (the login reply). The chat API takes none.
  bool SendLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes to the diagnostic log, if one is attached; false otherwise.
  bool Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Takes ownership of an open file (or nullptr to detach and close).
  void AttachLog(FILE* log);

  // Reads what the socket holds and dispatches every complete line. False
  // when there is no socket or the read failed; the caller then treats the
  // connection as lost. A read of 0 bytes (peer closed) returns true and sets PeerClosed().
  bool ReadAvailable();
  bool PeerClosed() const { return peer_closed_; }
  // The errno of the last failed read.
  int ReadError() const { return read_error_; }

  // Parses one line and calls its handler; control bytes in the name and the
  // text reach the handler as blanks. Returns the handler's result for
  // whispers, 1 for every other handled id, 0 for ids without a handler.
  int DispatchLine(const char* line);
  // The same for a record that is already parsed (the chat API's events).
  int DispatchEvent(ChatEvent& event);
  // Main thread: dispatches the records the transport made itself (the chat
  // API's refusals of commands it lacks or names not in the channel).
  void DeliverLocalEvents();
  // Cuts and dispatches bytes as if they had been read from a text gateway
  // (before the first connect, or while connected to one).
  void ProcessBytes(const char* data, size_t len);

  // Handlers, one per event id. The base versions do nothing and return 1,
  // except OnChannel (remembers the channel) and OnName (remembers the own name).
  virtual int OnReadComplete();
  virtual int OnShowUser(const char* name, uint32_t flags, const char* text);      // 1001
  virtual int OnJoin(const char* name, uint32_t flags, const char* text);          // 1002
  virtual int OnUserFlags(const char* name, uint32_t flags, const char* text);     // 1009
  virtual int OnLeave(const char* name, uint32_t flags, const char* text);         // 1003
  virtual int OnTalk(const char* name, uint32_t flags, const char* text);          // 1005
  virtual int OnBroadcast(const char* name, uint32_t flags, const char* text);     // 1006
  virtual int OnChannel(const char* name, uint32_t flags, const char* text);       // 1007
  virtual int OnWhisper(const char* name, uint32_t flags, const char* text);       // 1004
  virtual int OnWhisperSent(const char* name, uint32_t flags, const char* text);   // 1010
  virtual int OnEmote(const char* name, uint32_t flags, const char* text);         // 1023
  virtual int OnChannelFull(const char* name, uint32_t flags, const char* text);   // 1013
  virtual int OnChannelDoesNotExist(const char* name, uint32_t flags, const char* text);  // 1014
  virtual int OnChannelRestricted(const char* name, uint32_t flags, const char* text);    // 1015
  virtual int OnInfo(const char* name, uint32_t flags, const char* text);          // 1018
  virtual int OnError(const char* name, uint32_t flags, const char* text);         // 1019
  virtual int OnName(const char* name, uint32_t flags, const char* text);          // 2010
  virtual int OnNull(const char* name, uint32_t flags, const char* text);          // 2000
  virtual int OnRawLine(const char* name, uint32_t flags, const char* text);       // 1008

  // Called before a protocol event line (one that starts with a digit) is
  // dispatched; the owner uses it to mark the connection as established.
  virtual void OnEventLineArrived() {}

  // How the pause between connect attempts is taken; tests replace it.
  void SetRetryPause(std::function<void(int ms)> pause) { retry_pause_ = std::move(pause); }

  int Socket() const { return socket_.load(); }
  // Hands one command to the transport (no pacing). Callable from any
  // thread. A peer that takes nothing for the send timeout is given up: the
  // socket is shut down (its watcher then sees it closed), WriteStalled()
  // turns true and the write fails.
  bool SendCommand(const OutgoingCommand& command);
  // Writes the bytes as they are, the same way; only the text gateway takes them.
  bool SendRaw(const char* data, size_t len);
  // The paced sender's way to send `command` (null: only the requests the
  // transport keeps to send again). It first waits for the transport's turn
  // (Transport::AwaitTurn) without the send lock, so a close, a new socket or
  // an unpaced line never waits behind it; what waited for a connection that
  // is gone meanwhile is not sent.
  bool SendQueued(const OutgoingCommand* command);
  // Called on the reading thread when the transport keeps requests to send
  // again: the owner of the sender wakes it to call SendQueued(nullptr).
  void SetSenderWake(std::function<void()> wake) { sender_wake_ = std::move(wake); }
  // Ends the transport's waits for good (the sender is stopping).
  void InterruptSends();
  // A write on the current socket was given up (cleared by the next connect).
  bool WriteStalled() const { return write_stalled_.load(); }
  void SetSendTimeout(int ms) { send_timeout_ms_ = ms; }
  void SetPerAddressTimeout(int ms) { per_address_timeout_ms_ = ms; }
  // A CA certificate file trusted besides the system's store (chat API only).
  void SetCaFile(const std::string& path);
  const char* Account() const { return account_; }
  const char* Password() const { return password_; }
  const char* Server() const { return server_; }
  uint16_t Port() const { return port_; }
  const char* HomeChannel() const { return home_channel_; }
  const char* CurrentChannel() const { return current_channel_; }
  const char* OwnName() const { return own_name_; }

 protected:
  void SetCurrentChannel(const char* name);
  void SetOwnName(const char* name);

 private:
  // Events from the transport: a protocol event marks the connection as
  // established first.
  void OnTransportEvent(ChatEvent& event, bool protocol_event) override;
  // Writes the transport's greeting on the new socket.
  void Greet();
  // What came of a write on `fd`; a stalled one gives the connection up.
  bool Written(int fd, WriteResult result);
  // Installs `fd` (-1: none) and returns the previous descriptor for the
  // caller to close; the previous one is shut down with `how` first.
  int ReplaceSocket(int fd, int how);

  FILE* log_ = nullptr;
  std::mutex log_mutex_;
  char account_[128] = {};
  char password_[128] = {};
  char server_[128] = {};
  char home_channel_[128] = {};
  char current_channel_[128] = {};
  uint16_t port_ = kDefaultPort;
  char own_name_[130] = {};
  std::atomic<int> socket_{-1};
  std::mutex send_mutex_;   // held for the length of one send
  std::mutex state_mutex_;  // held while the descriptor is shut down or swapped
  bool peer_closed_ = false;
  int read_error_ = 0;
  std::atomic<bool> write_stalled_{false};
  std::atomic<int> send_timeout_ms_{kSendTimeoutMs};
  std::atomic<bool> cancel_connect_{false};
  std::atomic<int> per_address_timeout_ms_{kPerAddressTimeoutMs};
  mutable std::mutex failure_mutex_;
  ConnectFailure last_failure_;
  std::function<void(int ms)> retry_pause_;
  std::function<void()> sender_wake_;
  // The transport of the current socket (a text gateway's before the first
  // connect, none after a close). Readers take their own reference, so a
  // swap never pulls it from under them.
  std::shared_ptr<Transport> TransportNow() const;
  void SetTransport(std::shared_ptr<Transport> transport);
  mutable std::mutex transport_mutex_;  // held only to copy or swap the pointer
  std::shared_ptr<Transport> transport_;
  mutable std::mutex config_mutex_;
  std::string ca_file_;
};

}  // namespace tolvik
