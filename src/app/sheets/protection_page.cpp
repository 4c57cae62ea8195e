#include "app/sheets/protection_page.h"

#include "storage/atomic_file.h"

namespace tolvik {

ProtectionPage::ProtectionPage(std::string botIni, std::string rulesPath)
    : bot_ini_(std::move(botIni)), rules_path_(std::move(rulesPath)) {
  settings_ = LoadProtectionSettings(bot_ini_);
  std::string bytes;
  if (!ReadWholeFile(rules_path_, bytes)) bytes.clear();
  size_t start = 0;
  int number = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string text = bytes.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    start = end + 1;
    std::string error;
    std::optional<ProtectRule> rule = ProtectRules::ParseLine(text, ++number, &error);
    if (rule) {
      lines_.push_back({rules_.size(), text});
      rules_.push_back(std::move(*rule));
    } else {
      lines_.push_back({std::nullopt, text});  // comments and bad lines stay as they were
    }
  }
  Renumber();
}

void ProtectionPage::Renumber() {
  std::string text;
  int number = 0;
  for (const Line& line : lines_) {
    ++number;
    if (line.rule) rules_[*line.rule].line = number;
    text += (line.rule ? ProtectRules::FormatLine(rules_[*line.rule]) : line.text) + "\n";
  }
  compiled_.Parse(text);
}

std::optional<ProtectRule> ProtectionPage::Check(std::string_view pattern, std::string_view action,
                                                 std::string_view reason, std::string* why) const {
  for (std::string_view field : {pattern, action, reason}) {
    if (field.find_first_of("\t\r\n") != std::string_view::npos) {
      *why = "A rule cannot hold a tab or a line end.";
      return std::nullopt;
    }
  }
  if (!pattern.empty() && pattern.front() == '#') {
    *why = "A pattern cannot begin with #: the line would be a comment.";
    return std::nullopt;
  }
  std::string line = std::string(pattern) + "\t" + std::string(action);
  if (!reason.empty()) line += "\t" + std::string(reason);
  std::string error;
  std::optional<ProtectRule> rule = ProtectRules::ParseLine(line, 0, &error);
  if (!rule) {
    *why = error.empty() ? "The pattern is empty." : "The rule is not valid: " + error + ".";
    return std::nullopt;
  }
  ProtectRules one;
  std::vector<RuleProblem> problems = one.Parse(line);
  if (!problems.empty()) {
    *why = "The rule is not valid: " + problems.front().message + ".";
    return std::nullopt;
  }
  return rule;
}

PageOutcome ProtectionPage::AddRule(std::string_view pattern, std::string_view action, std::string_view reason) {
  std::string why;
  std::optional<ProtectRule> rule = Check(pattern, action, reason, &why);
  if (!rule) return PageOutcome::Refused(why);
  lines_.push_back({rules_.size(), ""});
  rules_.push_back(std::move(*rule));
  changed_ = true;
  Renumber();
  return PageOutcome::Done();
}

PageOutcome ProtectionPage::EditRule(size_t index, std::string_view pattern, std::string_view action,
                                     std::string_view reason) {
  if (index >= rules_.size()) return PageOutcome::Refused("Choose a rule first.");
  std::string why;
  std::optional<ProtectRule> rule = Check(pattern, action, reason, &why);
  if (!rule) return PageOutcome::Refused(why);
  rules_[index] = std::move(*rule);
  changed_ = true;
  Renumber();
  return PageOutcome::Done();
}

void ProtectionPage::RemoveRule(size_t index) {
  if (index >= rules_.size()) return;
  std::vector<Line> kept;
  for (Line& line : lines_) {
    if (line.rule && *line.rule == index) continue;
    if (line.rule && *line.rule > index) --*line.rule;
    kept.push_back(std::move(line));
  }
  lines_ = std::move(kept);
  rules_.erase(rules_.begin() + static_cast<long>(index));
  changed_ = true;
  Renumber();
}

std::string ProtectionPage::TestLine(std::string_view line) const {
  const ProtectRule* rule = compiled_.Match(line);
  if (rule == nullptr) return "No rule matches";
  std::string text = rule->Name() + " " + rule->ActionText();
  if (!rule->reason.empty()) text += " (" + rule->reason + ")";
  return text;
}

PageOutcome ProtectionPage::Apply() {
  if (!SaveProtectionSettings(bot_ini_, settings_)) return PageOutcome::Refused("Bot.ini could not be written.");
  if (!changed_) return PageOutcome::Done();
  std::string text;
  for (const Line& line : lines_) text += (line.rule ? ProtectRules::FormatLine(rules_[*line.rule]) : line.text) + "\n";
  if (!WriteFileAtomically(rules_path_, text)) return PageOutcome::Refused("protect.lst could not be written.");
  changed_ = false;
  return PageOutcome::Done();
}

}  // namespace tolvik
