#pragma once
// Turns the chat API's JSON messages into the event records the handlers
// take, keeping the channel's users by id (the API names users by id, the
// handlers by name), and matches request answers to what was asked.
//
// Threads: Decode() and Reset() run on the thread that reads; FindUser(),
// Expect() and OwnName() may be called from the sending thread meanwhile.
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "net/chat_event.h"

namespace tolvik::api {

// What a request asked for, kept until its answer (or a leave) settles it.
// kSetModerator hands operator status over; its answer makes no line here.
enum class RequestKind { kAuthenticate, kConnect, kMessage, kWhisper, kEmote, kKick, kBan, kUnban, kDesignate, kDisconnect, kSetModerator };

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

// NameCarriable (net/chat_event.h): whether a text command can name a user.

class ApiDecoder {
 public:
  // A user updated in a listing more than this long after the previous
  // update of the listing is taken as a join.
  static constexpr int64_t kListingQuietMs = 1000;
  // Users followed at once; the same cap as the bot's user list, so both
  // refuse the same newcomer.
  static constexpr size_t kMaxUsers = 1000;
  // Requests awaiting an answer; past this the oldest is forgotten.
  static constexpr size_t kMaxRequests = 1000;

  ApiDecoder();

  enum class Kind {
    kEvent,         // zero or more records were produced
    kResponse,      // an answer to a request (see Answer)
    kDisconnect,    // the server ends the session
    kMalformed,     // not JSON, not an object with a command, or a required
                    // field missing (an error record says which)
    kUnknown,       // well-formed, but a command we do not know
  };
  struct Answer {
    RequestKind kind = RequestKind::kMessage;
    bool known = false;  // the request id was ours and still open
    bool failed = false;
    ApiStatus status;
    int64_t request_id = 0;  // the id the answer names (0 when none)
  };
  // What the channel knows of a user besides name and flags: the attribute
  // values as the server gave them (empty when not given).
  struct UserInfo {
    uint64_t id = 0;
    std::string program, rate, rank, wins;
    bool carriable = true;  // see NameCarriable()
  };

  // Decodes one message. Records to dispatch are appended to `events`
  // (cleared first); `answer` is reset, then filled for kResponse, and for an
  // event that carries a status (known stays false, failed tells a failure).
  Kind Decode(std::string_view message, int64_t now_ms, std::vector<ChatEvent>* events, Answer* answer);

  // Forgets users, requests and the own identity (a new connection).
  void Reset();
  // The id of the user of that name in the channel (ASCII case ignored).
  bool FindUser(std::string_view name, uint64_t* id) const;
  std::string OwnName() const;
  bool FindUserInfo(std::string_view name, UserInfo* info) const;
  // Remembers request `request_id` until its answer. Kicks and bans are also
  // settled by the target's leave; `target` is the name the confirmation shows.
  void Expect(int64_t request_id, RequestKind kind, std::string target = {}, uint64_t target_id = 0);
  size_t UsersForTest() const;

 private:
  // Attribute texts longer than this are cut.
  static constexpr size_t kAttributeSize = 24;
  struct Attribute {
    char text[kAttributeSize] = {};
    uint8_t size = 0;
    std::string_view View() const { return {text, size}; }
    void Set(std::string_view v);
  };
  struct User {
    using allocator_type = std::pmr::polymorphic_allocator<char>;
    explicit User(const allocator_type& alloc) : name(alloc) {}
    User(const User& other, const allocator_type& alloc) : name(other.name, alloc) {}
    std::pmr::string name;
    uint32_t flags = 0;
    Attribute product;  // "[W2BN]"
    Attribute rate, rank, wins;
  };
  struct Request {
    RequestKind kind;
    std::string target;
    uint64_t target_id;
    bool settled;  // confirmed by a leave before the answer came
    uint64_t order;  // when it was expected, to find the oldest
  };
  using UserMap = std::pmr::unordered_map<uint64_t, User>;

  // False when a required field is missing (an error record was added).
  bool UserUpdate(int64_t now_ms, std::vector<ChatEvent>* events);
  bool Leave(std::vector<ChatEvent>* events);
  bool Message(std::vector<ChatEvent>* events);
  // Adds user `id` from the message's fields, as a join or a listed user.
  void AddUser(uint64_t id, int64_t now_ms, std::vector<ChatEvent>* events);
  // Drops another id that holds `name` (the newest id keeps a name).
  void DropOtherHolder(uint64_t id, std::string_view name, std::vector<ChatEvent>* events);
  void SetAttributes(User* u) const;
  void Respond(Answer* answer, std::vector<ChatEvent>* events);
  // The confirmation the text gateway would have sent for a settled request.
  void Confirm(const Request& request, std::vector<ChatEvent>* events) const;

  mutable std::mutex mutex_;
  // Users come and go all the time; their nodes and names are recycled here
  // instead of going back to the heap.
  std::pmr::unsynchronized_pool_resource pool_;
  UserMap users_{&pool_};
  bool full_reported_ = false;
  std::unordered_map<int64_t, Request> requests_;
  uint64_t request_order_ = 0;
  uint64_t own_id_ = 0;
  bool own_known_ = false;
  std::string own_name_;
  bool listing_ = false;
  int64_t listing_last_ms_ = 0;
  std::string input_;  // the message, repaired, with the parser's padding
  // The parser and what it took out of the message being decoded; both keep
  // their room between messages.
 public:
  struct Fields;
  struct Parser;

 private:
  struct FieldsDeleter {
    void operator()(Fields* f) const;
  };
  struct ParserDeleter {
    void operator()(Parser* p) const;
  };
  std::unique_ptr<Fields, FieldsDeleter> fields_;
  std::unique_ptr<Parser, ParserDeleter> parser_;
};

// Fills one record; name and text are cut to their buffers.
void FillEvent(ChatEvent* event, int id, std::string_view name, uint32_t flags, std::string_view text);

}  // namespace tolvik::api
