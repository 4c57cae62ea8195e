#pragma once
// Automatic responses: the four tables of name patterns read from Bot.ini
// ([AutoGreet], [AutoPart], [AutoRespond], [AutoRespondToEmote]), the rule
// that matches a speaker's name against a pattern, and the reading of the
// phrase/response pairs stored under a pattern.
//
// Only the key names live in memory. The texts are read from Bot.ini at each
// match, so hand edits of a text count at once; new or removed keys need a
// reload of the tables.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvik {

class ChatDisplay;

class ResponseTable {
 public:
  static constexpr int kMaxNames = 128;
  static constexpr size_t kNameLength = 19;
  static constexpr size_t kValueBuffer = 2040;  // a response value holds at most 2039 characters

  explicit ResponseTable(std::string section) : section_(std::move(section)) {}

  // Replaces the table with the key names of its section in `botIni`, in file
  // order, each cut to 19 characters; at most 128. A missing file or section
  // gives an empty table. When the section holds more names, the rest are
  // ignored and "Error:  Limit of 128 response names exceeded" is shown once
  // on `report` (may be null). Returns the number of names loaded.
  int Load(const std::string& botIni, ChatDisplay* report);

  const std::string& section() const { return section_; }
  int count() const { return static_cast<int>(names_.size()); }
  const std::string& name(int slot) const { return names_[static_cast<size_t>(slot)]; }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::string section_;
  std::vector<std::string> names_;
};

// The response rule: does `pattern` (a slot as stored) answer `speaker`?
//   "*"            everybody;
//   "f*"           names beginning with f, any case;
//   "xxx", "*xxx*" a name of the pattern's length equal to it in any case, or
//                  a longer or shorter name containing it with exactly that case;
//   "*xxx"         the same test after dropping the name's character at
//                  position 3 (the length of xxx), when it has one.
// Only a single leading or trailing asterisk is a wildcard; a doubled one is
// two literal asterisks.
bool ResponseNameMatches(std::string_view pattern, std::string_view speaker);

// The greeting rule of [AutoGreet] and [AutoPart]: "*" matches every name;
// "*xxx*" a name containing xxx (exact case); "*xxx" a name ending in xxx and
// "xxx*" a name beginning with xxx (any case); any other pattern the name
// itself, ignoring case.
bool GreetingNameMatches(std::string_view pattern, std::string_view name);

// The key of the first slot of `table` whose greeting rule matches `name`:
// the name itself for an exact match, the pattern as stored otherwise.
std::optional<std::string> GreetingMatch(const ResponseTable& table, std::string_view name);

// The (phrase, response) pairs of a response value as read from Bot.ini:
// single colons separate the items, a doubled colon is one literal colon,
// empty items are skipped, and an item beginning with a space and a colon
// loses the space. A phrase without a response ends the list.
std::vector<std::pair<std::string, std::string>> ResponsePairs(std::string_view value);

}  // namespace tolvik
