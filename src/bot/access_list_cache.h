#pragma once
// users.lst and autoban.lst as the level questions see them. Each file is read
// whole and parsed once into a table of names, and read again only when it
// changes on disk (another device, inode, size, modification or change time,
// to the nanosecond), so a hand edit counts at the next question. A file
// changed within the last few seconds is read again at every question: file
// times advance in coarse steps, and two edits inside one step could
// otherwise look like one.
#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tolvik {

class ChatDisplay;

class ListFileCache {
 public:
  // `by_level`: headers give the names below them their level (users.lst).
  // Otherwise every word is a name (autoban.lst).
  explicit ListFileCache(bool by_level) : by_level_(by_level) {}

  // The level of the first occurrence of `name` (compared without regard to
  // the case of ASCII letters) in the file `file` of `dir`; -1 when the name
  // is not listed or the file cannot be read. A read that meets a word longer
  // than a name can be prints the word reader's truncation warning on `report`.
  int Find(const std::string& dir, const char* file, std::string_view name, ChatDisplay* report);

 private:
  struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
  };
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  // Brings the table up to date with the file; false when it cannot be read.
  bool Refresh(ChatDisplay* report);
  void Parse(std::string_view bytes, ChatDisplay* report);
  static bool SameStamp(const Stamp& a, const Stamp& b);

  const bool by_level_;
  std::string dir_;
  std::string path_;
  bool loaded_ = false;  // names_ holds the file described by stamp_
  bool recent_ = false;  // the file had changed just before it was read
  Stamp stamp_;
  // Lower-case name -> level of its first occurrence.
  std::unordered_map<std::string, int, Hash, std::equal_to<>> names_;
};

}  // namespace tolvik
