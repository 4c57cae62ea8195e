#pragma once
// One parsed event line of the chat gateway protocol.
#include <cstdint>
#include <string_view>

namespace tolvik {

// Event ids the gateway sends (1008 is also used for wrapped raw text lines).
enum EventId : int {
  kEvShowUser = 1001,
  kEvJoin = 1002,
  kEvLeave = 1003,
  kEvWhisper = 1004,
  kEvTalk = 1005,
  kEvBroadcast = 1006,
  kEvChannel = 1007,
  kEvRawLine = 1008,
  kEvUserFlags = 1009,
  kEvWhisperSent = 1010,
  kEvChannelFull = 1013,
  kEvChannelDoesNotExist = 1014,
  kEvChannelRestricted = 1015,
  kEvInfo = 1018,
  kEvError = 1019,
  kEvEmote = 1023,
  kEvNull = 2000,
  kEvName = 2010,
};

inline constexpr int kNameSize = 128;  // 127 characters and a terminator
inline constexpr int kTextSize = 256;  // 255 characters and a terminator

// Whether a text command can name this user: no space, control character or
// other separator, and short enough that a record holds the name whole
// (records cut names at kNameSize - 1, so a name of that length may be a cut
// one). Nothing is ever done by name to a user whose name fails this; it
// works on names as they appear in event records too.
bool NameCarriable(std::string_view name);

struct ChatEvent {
  int32_t id = 0;
  char name[kNameSize] = {};
  uint32_t flags = 0;
  char text[kTextSize] = {};
};

// Fills `event` from one line (NUL-terminated). Never fails: unreadable parts
// leave their fields cleared. A null line or event fills nothing.
// Allocates nothing; tokens longer than their buffers are cut.
bool ParseEvent(const char* line, ChatEvent* event);

}  // namespace tolvik
