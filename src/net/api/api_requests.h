#pragma once
// The chat API's requests, and the translation of the outgoing queue's
// commands (chat text, whispers, moderation) into them.
#include <cstdint>
#include <string>
#include <string_view>

#include "net/api/api_decoder.h"
#include "net/outgoing_command.h"

namespace tolvik::api {

std::string AuthenticateRequest(int64_t request_id, std::string_view api_key);
std::string ConnectRequest(int64_t request_id);
std::string DisconnectRequest(int64_t request_id);
// Hands the bot's operator status to the user at once.
std::string SetModeratorRequest(int64_t request_id, uint64_t user_id);

// The longest text a request carries: the longest line the text gateway
// takes, without its line end.
inline constexpr size_t kLongestMessage = 254;
// `text` as a request carries it: control characters (C0, DEL and the C1
// range as UTF-8) removed, then cut to kLongestMessage bytes without
// splitting a UTF-8 character.
std::string MessageText(std::string_view text);

struct Translation {
  bool ok = false;
  std::string request;  // the JSON to send, when ok
  RequestKind kind = RequestKind::kMessage;
  std::string target;   // the user a command names
  uint64_t target_id = 0;
  std::string error;    // why nothing is sent, when not ok
  // The refusal answers the command itself (a name not in the channel), as
  // the gateway's error lines do; otherwise it is only information, which
  // leaves the actions waiting for an answer alone.
  bool error_answers = false;
};

// One command (its first line). Names are looked up in `channel`; a command
// naming someone not in the channel, or one the API lacks, is refused.
Translation TranslateCommand(const OutgoingCommand& command, int64_t request_id, const ApiDecoder& channel);
// The same for a line as the queue would hold it, taken apart first.
Translation TranslateLine(std::string_view line, int64_t request_id, const ApiDecoder& channel);

}  // namespace tolvik::api
