#pragma once
// protect.lst: one rule a line, PATTERN<TAB>ACTION[<TAB>REASON]; empty lines
// and lines starting with '#' are comments. ACTION is warn, kick, ban or
// tempban:MINUTES. A PATTERN written /.../ or /.../i is a regular expression
// searched in the line (i: ignoring case); any other is a wildcard phrase
// ('*' any run, '?' one character) matched against the whole line ignoring
// case. All rules are compiled into one RE2 set, which matches in time linear
// in the line whatever the patterns are; the first rule that matches acts.
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvik {

enum class RuleAction { Warn, Kick, Ban, TempBan };

struct ProtectRule {
  int line = 0;  // in protect.lst, from 1
  std::string pattern;
  RuleAction action = RuleAction::Warn;
  int minutes = 0;  // TempBan
  std::string reason;
  // "protect.lst:12": the rule's name in warnings and the record.
  std::string Name() const;
  // "warn", "kick", "ban" or "tempban:30".
  std::string ActionText() const;
};

// A line of the file that could not be used.
struct RuleProblem {
  int line = 0;
  std::string message;
};

class ProtectRules {
 public:
  static constexpr char kFileName[] = "protect.lst";

  ProtectRules();
  ~ProtectRules();
  ProtectRules(const ProtectRules&) = delete;
  ProtectRules& operator=(const ProtectRules&) = delete;

  // Replaces the rules with those of `text`; bad lines are skipped and listed.
  std::vector<RuleProblem> Parse(std::string_view text);
  // Reads the file; a missing file means no rules.
  std::vector<RuleProblem> Load(const std::string& path);
  // Loads the file again when its time or size changed since the last load
  // (looked at no more often than every `every`); whether it was reloaded.
  bool Refresh(const std::string& path, std::vector<RuleProblem>* problems,
               std::chrono::steady_clock::time_point now,
               std::chrono::steady_clock::duration every = std::chrono::seconds(2));

  // The first rule that matches `line`, or nullptr.
  const ProtectRule* Match(std::string_view line) const;
  const std::vector<ProtectRule>& Rules() const { return rules_; }
  size_t size() const { return rules_.size(); }

  // The RE2 pattern of a PATTERN field; nullopt when it is an empty regex form.
  static std::string ToRegex(std::string_view pattern);
  // Reads one rule line (without its line end); nullopt with `error` set when
  // it is not a rule (comments and empty lines give nullopt with no error).
  static std::optional<ProtectRule> ParseLine(std::string_view text, int line, std::string* error);
  // The line with the rule written back (for the configuration page).
  static std::string FormatLine(const ProtectRule& rule);

 private:
  struct Compiled;  // the RE2 set
  std::vector<ProtectRule> rules_;
  std::unique_ptr<Compiled> set_;
  mutable std::vector<int> hits_;
  // What the file looked like at the last load.
  bool loaded_ = false;
  std::timespec mtime_{};
  long long size_ = -1;
  std::chrono::steady_clock::time_point checked_{};
};

}  // namespace tolvik
