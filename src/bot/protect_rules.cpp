#include "bot/protect_rules.h"

#include <re2/re2.h>
#include <re2/set.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>

#include "storage/atomic_file.h"

namespace tolvik {
namespace {

// The set's compiled program and its matching automaton get room for a few
// thousand rules; a set that outgrows it fails to compile and is reported.
constexpr int64_t kSetMemory = 256 << 20;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool IsRegexForm(std::string_view p) {
  return p.size() >= 2 && p.front() == '/' && (p.back() == '/' || (p.size() >= 3 && p.ends_with("/i")));
}

}  // namespace

std::string ProtectRule::Name() const { return std::string(ProtectRules::kFileName) + ":" + std::to_string(line); }

std::string ProtectRule::ActionText() const {
  switch (action) {
    case RuleAction::Warn: return "warn";
    case RuleAction::Kick: return "kick";
    case RuleAction::Ban: return "ban";
    case RuleAction::TempBan: return "tempban:" + std::to_string(minutes);
  }
  return "warn";
}

struct ProtectRules::Compiled {
  explicit Compiled(const RE2::Options& options) : set(options, RE2::UNANCHORED) {}
  RE2::Set set;
};

ProtectRules::ProtectRules() = default;
ProtectRules::~ProtectRules() = default;

std::string ProtectRules::ToRegex(std::string_view p) {
  if (IsRegexForm(p)) {
    const bool fold = p.back() == 'i';
    std::string_view body = p.substr(1, p.size() - (fold ? 3 : 2));
    return (fold ? "(?i)" : "") + std::string(body);
  }
  // A wildcard phrase: literal runs quoted, the whole line matched.
  std::string re = "(?is)^";
  std::string literal;
  auto flush = [&] {
    if (!literal.empty()) re += RE2::QuoteMeta(literal);
    literal.clear();
  };
  for (char c : p) {
    if (c == '*' || c == '?') {
      flush();
      re += c == '*' ? ".*" : ".";
    } else {
      literal += c;
    }
  }
  flush();
  return re + "$";
}

std::optional<ProtectRule> ProtectRules::ParseLine(std::string_view text, int line, std::string* error) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (Trim(text).empty() || text.front() == '#') return std::nullopt;
  const size_t tab = text.find('\t');
  if (tab == std::string_view::npos) {
    *error = "no action (PATTERN<TAB>ACTION[<TAB>REASON])";
    return std::nullopt;
  }
  ProtectRule rule;
  rule.line = line;
  rule.pattern = std::string(text.substr(0, tab));
  std::string_view rest = text.substr(tab + 1);
  const size_t tab2 = rest.find('\t');
  std::string_view action = Trim(rest.substr(0, tab2));
  if (tab2 != std::string_view::npos) rule.reason = std::string(Trim(rest.substr(tab2 + 1)));
  if (rule.pattern.empty() || (IsRegexForm(rule.pattern) && ToRegex(rule.pattern).empty())) {
    *error = "empty pattern";
    return std::nullopt;
  }
  if (action == "warn") {
    rule.action = RuleAction::Warn;
  } else if (action == "kick") {
    rule.action = RuleAction::Kick;
  } else if (action == "ban") {
    rule.action = RuleAction::Ban;
  } else if (action.starts_with("tempban:")) {
    std::string_view n = action.substr(8);
    int minutes = 0;
    auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), minutes);
    if (ec != std::errc() || end != n.data() + n.size() || minutes <= 0) {
      *error = "tempban needs a number of minutes above 0";
      return std::nullopt;
    }
    rule.action = RuleAction::TempBan;
    rule.minutes = minutes;
  } else {
    *error = "unknown action \"" + std::string(action) + "\" (warn, kick, ban or tempban:MINUTES)";
    return std::nullopt;
  }
  return rule;
}

std::string ProtectRules::FormatLine(const ProtectRule& rule) {
  std::string line = rule.pattern + '\t' + rule.ActionText();
  if (!rule.reason.empty()) line += '\t' + rule.reason;
  return line;
}

std::vector<RuleProblem> ProtectRules::Parse(std::string_view text) {
  std::vector<RuleProblem> problems;
  rules_.clear();
  RE2::Options options;
  options.set_max_mem(kSetMemory);
  options.set_log_errors(false);
  auto compiled = std::make_unique<Compiled>(options);
  RE2::Set* set = &compiled->set;
  int number = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++number;
    std::string error;
    std::optional<ProtectRule> rule = ParseLine(text.substr(start, end - start), number, &error);
    if (rule) {
      if (set->Add(ToRegex(rule->pattern), &error) < 0)
        problems.push_back({number, "pattern does not compile: " + error});
      else
        rules_.push_back(std::move(*rule));
    } else if (!error.empty()) {
      problems.push_back({number, error});
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  if (!rules_.empty() && !set->Compile()) {
    problems.push_back({0, "the rules are too many or too large to compile together"});
    rules_.clear();
  }
  set_ = rules_.empty() ? nullptr : std::move(compiled);
  return problems;
}

std::vector<RuleProblem> ProtectRules::Load(const std::string& path) {
  struct stat st {};
  loaded_ = true;
  if (::stat(path.c_str(), &st) == 0) {
    mtime_ = st.st_mtim;
    size_ = st.st_size;
  } else {
    mtime_ = {};
    size_ = -1;
  }
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) bytes.clear();
  return Parse(bytes);
}

bool ProtectRules::Refresh(const std::string& path, std::vector<RuleProblem>* problems,
                           std::chrono::steady_clock::time_point now, std::chrono::steady_clock::duration every) {
  if (loaded_ && now >= checked_ && now - checked_ < every) return false;
  checked_ = now;
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (loaded_) {
    const long long size = exists ? st.st_size : -1;
    const std::timespec mtime = exists ? st.st_mtim : std::timespec{};
    if (size == size_ && mtime.tv_sec == mtime_.tv_sec && mtime.tv_nsec == mtime_.tv_nsec) return false;
  }
  std::vector<RuleProblem> found = Load(path);
  if (problems != nullptr) *problems = std::move(found);
  return true;
}

const ProtectRule* ProtectRules::Match(std::string_view line) const {
  if (!set_) return nullptr;
  hits_.clear();
  if (!set_->set.Match(line, &hits_) || hits_.empty()) return nullptr;
  return &rules_[static_cast<size_t>(*std::min_element(hits_.begin(), hits_.end()))];
}

}  // namespace tolvik
