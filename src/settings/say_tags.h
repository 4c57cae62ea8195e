#pragma once
// The tags of the say command: Bot.ini [Messages] "Say0", "Say1", ... (one
// text per level, stored through the escaped profile writer).
#include <string>

namespace tolvik {

// The largest number after "say" (any case) among the [Messages] keys, read
// with a 2047-byte buffer; 0 when there is none.
int HighestSayLevel(const std::string& botIni);

// The tag of `level` as text ("" when absent or not set).
std::string ReadSayTag(const std::string& botIni, int level);

// Stores `tag` under "say" + `level` (the level field's text as typed).
bool WriteSayTag(const std::string& botIni, const std::string& level, const std::string& tag);

}  // namespace tolvik
