#include "storage/private_profile.h"

#include <algorithm>
#include <optional>

#include "storage/atomic_file.h"
#include "storage/ini_text.h"

namespace tolvik {
namespace {

using ini::EqualsIgnoreCase;
using ini::LineReader;
using ini::Trim;

// One line of a file as the private-profile rules see it.
struct ParsedLine {
  enum Kind { Blank, Comment, Header, Entry } kind = Blank;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // trimmed
  bool hasValue = false;   // the entry had an "="
};

ParsedLine Parse(std::string_view raw) {
  ParsedLine p;
  std::string_view line = Trim(raw);
  if (line.empty()) return p;
  if (line[0] == ';') {
    p.kind = ParsedLine::Comment;
  } else if (ini::IsSectionStart(line)) {
    p.kind = ParsedLine::Header;
    size_t close = line.find(']');
    p.name = Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  } else {
    p.kind = ParsedLine::Entry;
    size_t eq = line.find('=');
    p.name = Trim(line.substr(0, eq));
    if (eq != std::string_view::npos) {
      p.hasValue = true;
      p.value = Trim(line.substr(eq + 1));
    }
  }
  return p;
}

// Calls `visit` for every line of the first section named `section`;
// `visit` returns false to stop.
template <typename Visit>
void ForEachInSection(std::string_view text, std::string_view section, Visit visit) {
  LineReader lines(text);
  std::string_view raw;
  bool inSection = false;
  while (lines.Next(raw)) {
    ParsedLine p = Parse(raw);
    if (p.kind == ParsedLine::Header) {
      if (inSection) return;
      inSection = EqualsIgnoreCase(p.name, section);
    } else if (inSection && !visit(p)) {
      return;
    }
  }
}

// The trimmed value of the first entry named `key`; none when that entry
// has no "=".
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section, std::string_view key) {
  std::optional<std::string_view> found;
  std::string_view wanted = Trim(key);
  ForEachInSection(text, section, [&](const ParsedLine& p) {
    if (p.kind != ParsedLine::Entry || !EqualsIgnoreCase(p.name, wanted)) return true;
    if (p.hasValue) found = p.value;
    return false;
  });
  return found;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string PrivateProfile::ReadString(std::string_view section, std::string_view key, std::string_view def,
                                       size_t bufferSize, const std::string& path) {
  std::string text;
  if (ReadWholeFile(path, text)) {
    if (auto value = FindValue(text, section, key)) {
      std::string_view v = *value;
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return std::string(ini::Bounded(v, bufferSize));
    }
  }
  // Trailing blanks of the default are dropped, though never its first character.
  size_t end = def.size();
  while (end > 1 && def[end - 1] == ' ') --end;
  return std::string(ini::Bounded(def.substr(0, end), bufferSize));
}

int32_t PrivateProfile::ReadInt(std::string_view section, std::string_view key, int32_t def,
                                const std::string& path) {
  std::string text = ReadString(section, key, "", 30, path);
  if (text.empty()) return def;
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

std::vector<std::string> PrivateProfile::ReadSection(std::string_view section, const std::string& path) {
  std::vector<std::string> entries;
  std::string text;
  if (!ReadWholeFile(path, text)) return entries;
  ForEachInSection(text, section, [&](const ParsedLine& p) {
    if (p.kind != ParsedLine::Entry) return true;
    std::string entry(p.name);
    if (p.hasValue) {
      entry += '=';
      entry += p.value;
    }
    entries.push_back(std::move(entry));
    return true;
  });
  return entries;
}

bool PrivateProfile::ReadStruct(std::string_view section, std::string_view key, std::span<uint8_t> out,
                                const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return false;
  auto value = FindValue(text, section, key);
  return value && DecodeStruct(*value, out);
}

bool PrivateProfile::WriteString(std::string_view section, std::string_view key, std::string_view value,
                                 const std::string& path) {
  std::string text;
  ReadWholeFile(path, text);  // a missing file is created

  std::string entry = std::string(key) + "=" + std::string(value);
  std::string_view wantedKey = Trim(key);
  std::vector<std::string_view> lines;
  {
    LineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) lines.push_back(line);
  }

  // Find the first section of that name, the key's line in it, and the
  // section's last non-blank line (a new key goes after it).
  size_t header = lines.size(), keyLine = lines.size(), lastInSection = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    ParsedLine p = Parse(lines[i]);
    if (header == lines.size()) {
      if (p.kind == ParsedLine::Header && EqualsIgnoreCase(p.name, section)) header = lastInSection = i;
      continue;
    }
    if (p.kind == ParsedLine::Header) break;
    if (p.kind != ParsedLine::Blank) lastInSection = i;
    if (p.kind == ParsedLine::Entry && EqualsIgnoreCase(p.name, wantedKey)) {
      keyLine = i;
      break;
    }
  }

  std::string out;
  out.reserve(text.size() + entry.size() + section.size() + 8);
  for (size_t i = 0; i < lines.size(); ++i) {
    ini::AppendLine(out, i == keyLine ? std::string_view(entry) : lines[i]);
    if (keyLine == lines.size() && i == lastInSection) ini::AppendLine(out, entry);
  }
  if (header == lines.size()) {
    if (!lines.empty() && !Trim(lines.back()).empty()) out += "\r\n";
    ini::AppendLine(out, "[" + std::string(section) + "]");
    ini::AppendLine(out, entry);
  }
  // Bot.ini holds the account password: a file made here is its owner's alone.
  return WriteFileAtomically(path, out, kNewProfileMode);
}

bool PrivateProfile::DeleteKey(std::string_view section, std::string_view key, const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return true;
  std::vector<std::string_view> lines;
  {
    LineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) lines.push_back(line);
  }
  const std::string_view wantedKey = Trim(key);
  size_t keyLine = lines.size();
  bool inSection = false;
  for (size_t i = 0; i < lines.size() && keyLine == lines.size(); ++i) {
    ParsedLine p = Parse(lines[i]);
    if (p.kind == ParsedLine::Header) {
      if (inSection) break;
      inSection = EqualsIgnoreCase(p.name, section);
    } else if (inSection && p.kind == ParsedLine::Entry && EqualsIgnoreCase(p.name, wantedKey)) {
      keyLine = i;
    }
  }
  if (keyLine == lines.size()) return true;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < lines.size(); ++i)
    if (i != keyLine) ini::AppendLine(out, lines[i]);
  return WriteFileAtomically(path, out, kNewProfileMode);
}

bool PrivateProfile::WriteStruct(std::string_view section, std::string_view key, std::span<const uint8_t> data,
                                 const std::string& path) {
  return WriteString(section, key, EncodeStruct(data), path);
}

std::string PrivateProfile::EncodeStruct(std::span<const uint8_t> data) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(data.size() * 2 + 2);
  uint8_t sum = 0;
  auto put = [&](uint8_t b) {
    text += kHex[b >> 4];
    text += kHex[b & 0x0F];
  };
  for (uint8_t b : data) {
    put(b);
    sum = static_cast<uint8_t>(sum + b);
  }
  put(sum);
  return text;
}

bool PrivateProfile::DecodeStruct(std::string_view text, std::span<uint8_t> out) {
  if (text.size() != out.size() * 2 + 2) return false;
  std::vector<uint8_t> bytes(out.size() + 1);
  for (size_t i = 0; i < bytes.size(); ++i) {
    int hi = HexValue(text[2 * i]), lo = HexValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  uint8_t sum = 0;
  for (size_t i = 0; i < out.size(); ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  if (sum != bytes[out.size()]) return false;
  std::copy_n(bytes.begin(), out.size(), out.begin());
  return true;
}

}  // namespace tolvik
