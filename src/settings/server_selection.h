#pragma once
// The server-selection tool's rules and its two values, "Server List" (the
// servers the game client uses) and "Backup of Server List" (every server
// the tool knows), each a list of names separated by ";", kept in an INI
// file of the program's own.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvik {

// Names of a ";" list, empty pieces left out; and the list of names.
std::vector<std::string> SplitServerNames(std::string_view list);
std::string JoinServerNames(const std::vector<std::string>& names);

// What the tool offers on opening: the backup's names, with the one equal
// (ignoring case) to `statusServer` selected; then the names of the server
// list not yet offered; a server list of exactly one name selects that one.
struct ServerChoices {
  std::vector<std::string> names;
  int selected = -1;
};
ServerChoices ChooseServers(std::string_view backup, std::string_view serverList, std::string_view statusServer);

class ServerListFile {
 public:
  static constexpr std::string_view kSection = "Configuration";
  static constexpr std::string_view kServerList = "Server List";
  static constexpr std::string_view kBackup = "Backup of Server List";
  // Both values are read with this buffer; the chosen server is cut to 254.
  static constexpr size_t kBufferSize = 4095;
  static constexpr size_t kServerLength = 254;

  explicit ServerListFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  std::string serverList() const;
  std::string backup() const;
  // "OK": `server` becomes the server list and `names` the backup.
  bool select(std::string_view server, const std::vector<std::string>& names) const;
  // "Restore": `names` become the server list again and the backup goes.
  bool restore(const std::vector<std::string>& names) const;

 private:
  // Makes the file's folder; false when it cannot be made.
  bool prepare() const;
  // The whole file: the server list, and the backup unless null.
  static std::string compose(std::string_view serverList, const std::string* backup);
  std::string path_;
};

}  // namespace tolvik
