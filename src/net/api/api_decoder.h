#pragma once
// Turns the chat API's JSON messages into the event records the handlers
// take, keeping the channel's users by id (the API names users by id, the
// handlers by name), and matches request answers to what was asked.
//
// Threads: Decode() and Reset() run on the thread that reads; FindUser(),
// Expect() and OwnName() may be called from the sending thread meanwhile.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <memory>

#include "net/chat_event.h"

namespace tolvik::api {

// What a request asked for, kept until its answer (or a leave) settles it.
enum class RequestKind { kAuthenticate, kConnect, kMessage, kWhisper, kEmote, kKick, kBan, kUnban, kDesignate, kDisconnect };

struct ApiStatus {
  int area = 0;
  int code = 0;
  bool IsRateLimit() const { return area == 6 && code == 8; }
};
// "request timed out (6/5)" and the like.
std::string DescribeStatus(const ApiStatus& status);

// Text frames are JSON, but the service has sent invalid UTF-8 in them:
// each byte that does not belong to a well-formed sequence becomes '?'.
// Returns false (and leaves `out` alone) when the text was already valid.
bool RepairUtf8(std::string_view text, std::string* out);

class ApiDecoder {
 public:
  // A user updated in a listing more than this long after the previous
  // update of the listing is taken as a join.
  static constexpr int64_t kListingQuietMs = 1000;

  ApiDecoder();

  enum class Kind {
    kEvent,         // zero or more records were produced
    kResponse,      // an answer to a request (see Answer)
    kDisconnect,    // the server ends the session
    kMalformed,     // not JSON, or not an object with a command
    kUnknown,       // well-formed, but a command we do not know
  };
  struct Answer {
    RequestKind kind = RequestKind::kMessage;
    bool known = false;  // the request id was ours and still open
    bool failed = false;
    ApiStatus status;
  };

  // Decodes one message. Records to dispatch are appended to `events`
  // (cleared first); `answer` is filled for kResponse.
  Kind Decode(std::string_view message, int64_t now_ms, std::vector<ChatEvent>* events, Answer* answer);

  // Forgets users, requests and the own identity (a new connection).
  void Reset();
  // The id of the user of that name in the channel (ASCII case ignored).
  bool FindUser(std::string_view name, uint64_t* id) const;
  std::string OwnName() const;
  // Remembers request `request_id` until its answer. Kicks and bans are also
  // settled by the target's leave; `target` is the name the confirmation shows.
  void Expect(int64_t request_id, RequestKind kind, std::string target = {}, uint64_t target_id = 0);
  size_t UsersForTest() const;

 private:
  struct User {
    std::string name;
    uint32_t flags = 0;
    std::string product;  // "[W2BN]"
  };
  struct Request {
    RequestKind kind;
    std::string target;
    uint64_t target_id;
    bool settled;  // confirmed by a leave before the answer came
  };

  void UserUpdate(int64_t now_ms, std::vector<ChatEvent>* events);
  void Leave(std::vector<ChatEvent>* events);
  void Message(std::vector<ChatEvent>* events);
  void Respond(Answer* answer, std::vector<ChatEvent>* events);
  // The confirmation the text gateway would have sent for a settled request.
  void Confirm(const Request& request, std::vector<ChatEvent>* events) const;

  mutable std::mutex mutex_;
  std::unordered_map<uint64_t, User> users_;
  std::unordered_map<int64_t, Request> requests_;
  uint64_t own_id_ = 0;
  bool own_known_ = false;
  std::string own_name_;
  bool listing_ = false;
  int64_t listing_last_ms_ = 0;
  std::string repaired_;
  // What the parser took out of the message being decoded; kept between
  // messages so its strings keep their room.
 public:
  struct Fields;

 private:
  struct FieldsDeleter {
    void operator()(Fields* f) const;
  };
  std::unique_ptr<Fields, FieldsDeleter> fields_;
};

// Fills one record; name and text are cut to their buffers.
void FillEvent(ChatEvent* event, int id, std::string_view name, uint32_t flags, std::string_view text);

}  // namespace tolvik::api
