#pragma once
// The command names of the [Commands] levels, in the order the help text
// and the access settings list them.
#include <array>
#include <string_view>

namespace tolvik {

// 28 counted entries; "Resign" follows them but is not counted (only the
// access settings show it).
inline constexpr std::array<std::string_view, 29> kCommandNameTable = {
    "Say",     "Me",     "Whisper", "WhisperTagged", "Ban",      "BanTagged", "Kick",    "KickTagged",
    "Unban",   "AutoKick", "AutoBan", "Designate",   "Rejoin",   "Join",      "MakeOp",  "Add",
    "Del",     "Promote", "Demote", "Level",         "Forward",  "Help",      "Away",    "Page",
    "Password", "Lookup", "Who",    "IP",            "Resign"};
inline constexpr int kCommandNameCount = 28;

}  // namespace tolvik
