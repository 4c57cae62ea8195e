#include "storage/profile_file.h"

#include "storage/atomic_file.h"
#include "storage/ini_text.h"

namespace tolvik {
namespace {

using ini::AppendLine;
using ini::EqualsIgnoreCase;
using ini::IsBracketed;
using ini::IsSectionStart;
using ini::LineReader;

bool IsOneOf(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

// Field n of `text` as a view into it (fields keep their doubled delimiters,
// so each is a contiguous piece of the text). Empty past the last field.
std::string_view FieldView(std::string_view text, std::string_view delimiters, int n) {
  if (n < 0) return {};
  size_t start = 0;
  int index = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\t') {
      if (!IsOneOf(c, delimiters)) continue;
      if (i + 1 < text.size() && text[i + 1] == c) {
        ++i;  // a doubled delimiter belongs to the field
        continue;
      }
    }
    if (index == n) return text.substr(start, i - start);
    ++index;
    start = i + 1;
  }
  return index == n ? text.substr(start) : std::string_view();
}

std::string_view KeyOf(std::string_view line) { return FieldView(line, "=", 0); }

// Where the listing starts: just after the first whitespace-separated word
// that equals "[section]", or npos.
size_t FindHeaderWord(std::string_view text, std::string_view section) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && ini::IsSpace(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !ini::IsSpace(text[i])) ++i;
    if (i > start && IsBracketed(text.substr(start, i - start), section)) return i;
  }
  return std::string_view::npos;
}

void AppendKeyName(std::string& list, std::string_view line, bool hadEnd) {
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (IsOneOf(c, ProfileFile::kKeyEscapes) && i + 1 < line.size() && line[i + 1] == c) {
      list += c;
      ++i;
    } else if (c == '=') {
      list += '\0';
      return;
    } else {
      list += c;
    }
  }
  if (hadEnd) list += '\n';
  list += '\0';
}

bool ListKeys(std::string_view text, std::string_view section, std::string& list) {
  size_t pos = FindHeaderWord(text, section);
  if (pos == std::string_view::npos) return false;
  LineReader lines(text.substr(pos));
  std::string_view line;
  bool hadEnd;
  while (lines.Next(line, hadEnd)) {
    if (IsSectionStart(line)) break;
    if (!line.empty() && line[0] == ';') continue;
    AppendKeyName(list, line, hadEnd);
  }
  list += '\0';
  return true;
}

bool FindValue(std::string_view text, std::string_view section, std::string_view escapedKey,
               std::string_view& value) {
  LineReader lines(text);
  std::string_view line;
  bool inSection = false;
  while (lines.Next(line)) {
    if (!inSection) {
      inSection = IsBracketed(line, section);
      continue;
    }
    if (IsSectionStart(line)) return false;
    // A commented-out entry is no entry, whatever key it spells.
    if (!line.empty() && line[0] == ';') continue;
    if (EqualsIgnoreCase(KeyOf(line), escapedKey)) {
      value = FieldView(line, "=", 1);
      return true;
    }
  }
  return false;
}

}  // namespace

bool ProfileFile::Read(std::string_view section, std::string_view key, std::string_view def,
                       std::string& out, size_t bufferSize, const std::string& path) {
  std::string text;
  if (ReadWholeFile(path, text)) {
    if (key.empty()) {
      std::string list;
      if (ListKeys(text, section, list)) {
        out.assign(ini::Bounded(list, bufferSize));
        return true;
      }
    } else {
      std::string escapedKey = Escape(key, kKeyEscapes);
      std::string_view value;
      if (FindValue(text, section, escapedKey, value)) {
        out.assign(ini::Bounded(value, bufferSize));
        return true;
      }
    }
  }
  out.assign(ini::Bounded(def, bufferSize));
  return false;
}

bool ProfileFile::Write(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return false;

  const std::string escapedKey = Escape(key, kWriteEscapes);
  const std::string entry = escapedKey + "=" + Escape(value, kWriteEscapes);

  std::string out;
  out.reserve(text.size() + entry.size() + section.size() + 8);
  enum { Searching, InSection, Done } state = Searching;
  int heldBlanks = 0;  // empty lines inside the section, written once we know what follows them
  auto flushBlanks = [&] {
    for (; heldBlanks > 0; --heldBlanks) out += "\r\n";
  };

  LineReader lines(text);
  std::string_view line;
  while (lines.Next(line)) {
    switch (state) {
      case Searching:
        AppendLine(out, line);
        if (IsBracketed(line, section)) state = InSection;
        break;
      case InSection:
        if (IsSectionStart(line)) {
          AppendLine(out, entry);
          flushBlanks();
          AppendLine(out, line);
          state = Done;
        } else if (line.empty()) {
          ++heldBlanks;
        } else if (EqualsIgnoreCase(KeyOf(line), escapedKey)) {
          flushBlanks();
          if (!value.empty()) AppendLine(out, entry);
          state = Done;
        } else {
          flushBlanks();
          AppendLine(out, line);
        }
        break;
      case Done:
        AppendLine(out, line);
        break;
    }
  }
  if (state == InSection) {
    AppendLine(out, entry);
    flushBlanks();
  } else if (state == Searching && !value.empty()) {
    out += "\r\n";
    AppendLine(out, "[" + std::string(section) + "]");
    AppendLine(out, entry);
  }
  return WriteFileAtomically(path, out);
}

std::string ProfileFile::Escape(std::string_view text, std::string_view chars) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    out += c;
    if (IsOneOf(c, chars)) out += c;
  }
  return out;
}

std::string ProfileFile::Unescape(std::string_view text, std::string_view chars) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (i > 0 && text[i] == text[i - 1] && IsOneOf(text[i], chars)) continue;
    out += text[i];
  }
  return out;
}

std::string ProfileFile::Field(std::string_view text, std::string_view delimiters, int n) {
  return std::string(FieldView(text, delimiters, n));
}

std::vector<std::string> ProfileFile::SplitKeyList(std::string_view list) {
  std::vector<std::string> names;
  size_t start = 0;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == '\0' || list[i] == '\n' || list[i] == '\r') {
      if (i > start) names.emplace_back(list.substr(start, i - start));
      start = i + 1;
    }
  }
  return names;
}

std::vector<std::string> ProfileFile::KeyNames(std::string_view section, const std::string& path,
                                               size_t bufferSize) {
  std::string list;
  if (!Read(section, "", "", list, bufferSize, path)) return {};
  return SplitKeyList(list);
}

}  // namespace tolvik
