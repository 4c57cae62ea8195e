#include "net/outgoing_command.h"

#include <strings.h>

namespace tolvik {
namespace {

// Splits off the first blank-separated word; `rest` then starts after the
// blank that ended it.
std::string_view NextWord(std::string_view* rest) {
  size_t start = rest->find_first_not_of(' ');
  if (start == std::string_view::npos) {
    *rest = {};
    return {};
  }
  size_t end = rest->find(' ', start);
  std::string_view word = rest->substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  *rest = end == std::string_view::npos ? std::string_view() : rest->substr(end + 1);
  return word;
}

bool Is(std::string_view word, const char* name) {
  size_t n = std::char_traits<char>::length(name);
  return word.size() == n && strncasecmp(word.data(), name, n) == 0;
}

std::string_view TrimLeadingBlanks(std::string_view s) {
  size_t start = s.find_first_not_of(' ');
  return start == std::string_view::npos ? std::string_view() : s.substr(start);
}

uint16_t Offset(std::string_view line, std::string_view part) {
  return part.empty() ? 0 : static_cast<uint16_t>(part.data() - line.data());
}

}  // namespace

std::string_view FirstLine(std::string_view text, std::string_view* rest) {
  size_t lf = text.find('\n');
  std::string_view line = text.substr(0, lf);
  if (rest != nullptr) *rest = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

OutgoingCommand ParseOutgoingLine(std::string_view line) {
  OutgoingCommand c;
  c.line = line;
  std::string_view first = FirstLine(line);
  if (first.empty() || first[0] != '/') {
    c.text = first;
    return c;
  }
  std::string_view rest = first;
  c.word = NextWord(&rest);
  struct Named {
    const char* word;
    CommandKind kind;
  };
  static constexpr Named kNamed[] = {
      {"/me", CommandKind::kEmote},       {"/emote", CommandKind::kEmote},
      {"/w", CommandKind::kWhisper},      {"/m", CommandKind::kWhisper},
      {"/msg", CommandKind::kWhisper},    {"/whisper", CommandKind::kWhisper},
      {"/kick", CommandKind::kKick},      {"/ban", CommandKind::kBan},
      {"/unban", CommandKind::kUnban},    {"/designate", CommandKind::kDesignate},
      {"/join", CommandKind::kJoin},
  };
  c.kind = CommandKind::kOther;
  for (const Named& n : kNamed)
    if (Is(c.word, n.word)) c.kind = n.kind;
  if (c.kind == CommandKind::kOther || c.kind == CommandKind::kEmote) {
    c.text = rest;
    return c;
  }
  c.target = NextWord(&rest);
  c.text = c.kind == CommandKind::kWhisper ? TrimLeadingBlanks(rest) : rest;
  return c;
}

OutgoingCommand WhisperCommand(std::string_view line, std::string_view target, size_t text_at) {
  OutgoingCommand c;
  c.kind = CommandKind::kWhisper;
  c.line = line;
  std::string_view first = FirstLine(line);
  c.word = first.substr(0, first.find(' '));
  c.target = target;
  c.text = text_at < first.size() ? TrimLeadingBlanks(first.substr(text_at)) : std::string_view();
  return c;
}

CommandSpans CommandSpans::Of(const OutgoingCommand& c) {
  CommandSpans s;
  s.kind = c.kind;
  s.word_at = Offset(c.line, c.word);
  s.word_len = static_cast<uint16_t>(c.word.size());
  s.target_at = Offset(c.line, c.target);
  s.target_len = static_cast<uint16_t>(c.target.size());
  s.text_at = Offset(c.line, c.text);
  s.text_len = static_cast<uint16_t>(c.text.size());
  return s;
}

OutgoingCommand CommandSpans::In(std::string_view line) const {
  OutgoingCommand c;
  c.kind = kind;
  c.line = line;
  c.word = line.substr(word_at, word_len);
  c.target = line.substr(target_at, target_len);
  c.text = line.substr(text_at, text_len);
  return c;
}

}  // namespace tolvik
