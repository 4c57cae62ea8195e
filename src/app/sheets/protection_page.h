#pragma once
// The "Protection" page of the "Response Configurator": the switches and
// numbers of Bot.ini [Protection], the rules of protect.lst with add, edit
// and remove, and a test field that names the rule a typed line would hit.
// Comment lines of protect.lst are kept as they are when it is written.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/sheets/page_values.h"
#include "bot/protect_rules.h"
#include "settings/protection_settings.h"

namespace tolvik {

class ProtectionPage {
 public:
  static constexpr std::string_view kHelpText =
      "The bot acts on its own against users who flood the channel (more lines than allowed in a few seconds) "
      "or repeat the same line: first a whispered warning, then a kick, then a timed ban for a user who comes "
      "back within the hour and does it again.  Users at the protected level and above are left alone.  The "
      "rules of protect.lst act on channel lines, emotes and the names of users joining: a pattern with * and ? "
      "matches the whole line ignoring case; /.../ or /.../i is a regular expression.";

  // `botIni` holds [Protection]; `rulesPath` is protect.lst.
  ProtectionPage(std::string botIni, std::string rulesPath);

  ProtectionSettings& settings() { return settings_; }
  const ProtectionSettings& settings() const { return settings_; }

  // The rules in file order.
  const std::vector<ProtectRule>& rules() const { return rules_; }
  // Checks the fields and adds the rule at the end; refused when the pattern
  // is empty or does not compile, or the action is unknown.
  PageOutcome AddRule(std::string_view pattern, std::string_view action, std::string_view reason);
  PageOutcome EditRule(size_t index, std::string_view pattern, std::string_view action, std::string_view reason);
  void RemoveRule(size_t index);
  // "protect.lst:3 kick (selling)" for the first rule `line` hits, or "No rule matches".
  std::string TestLine(std::string_view line) const;

  // Writes [Protection] and protect.lst (only when the rules changed).
  PageOutcome Apply();
  bool rulesChanged() const { return changed_; }

 private:
  // One line of the file: a rule, or anything else kept as it was.
  struct Line {
    std::optional<size_t> rule;
    std::string text;
  };
  std::optional<ProtectRule> Check(std::string_view pattern, std::string_view action, std::string_view reason,
                                   std::string* why) const;
  void Renumber();

  std::string bot_ini_;
  std::string rules_path_;
  ProtectionSettings settings_;
  std::vector<Line> lines_;
  std::vector<ProtectRule> rules_;
  ProtectRules compiled_;
  bool changed_ = false;
};

}  // namespace tolvik
