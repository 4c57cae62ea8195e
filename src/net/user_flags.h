#pragma once
// Bits of the flags word the gateway gives for each user.
#include <cstdint>

namespace tolvik {

inline constexpr uint32_t kFlagBlizzard = 0x01;
inline constexpr uint32_t kFlagOperator = 0x02;  // channel operator
inline constexpr uint32_t kFlagSpeaker = 0x04;
inline constexpr uint32_t kFlagSysop = 0x08;
inline constexpr uint32_t kFlagChat = 0x10;  // a chat (bot) login
inline constexpr uint32_t kFlagSquelched = 0x20;
inline constexpr uint32_t kFlagGuest = 0x40;
inline constexpr uint32_t kFlagPglPlayer = 0x200;
inline constexpr uint32_t kFlagPglOfficial = 0x400;

}  // namespace tolvik
