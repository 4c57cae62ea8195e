#include "settings/server_selection.h"

#include <strings.h>

#include <filesystem>

#include "storage/atomic_file.h"
#include "storage/private_profile.h"

namespace tolvik {
namespace {

bool SameServer(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::vector<std::string> SplitServerNames(std::string_view list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    if (end > start) names.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::string JoinServerNames(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    if (!list.empty()) list += ';';
    list += name;
  }
  return list;
}

ServerChoices ChooseServers(std::string_view backup, std::string_view serverList, std::string_view statusServer) {
  ServerChoices choices;
  for (std::string& name : SplitServerNames(backup)) {
    if (choices.selected < 0 && SameServer(name, statusServer))
      choices.selected = static_cast<int>(choices.names.size());
    choices.names.push_back(std::move(name));
  }
  const std::vector<std::string> current = SplitServerNames(serverList);
  for (const std::string& name : current) {
    bool known = false;
    for (const std::string& offered : choices.names) known = known || SameServer(offered, name);
    if (!known) choices.names.push_back(name);
  }
  if (current.size() == 1) {
    for (size_t i = 0; i < choices.names.size(); ++i)
      if (SameServer(choices.names[i], current.front())) choices.selected = static_cast<int>(i);
  }
  return choices;
}

std::string ServerListFile::serverList() const {
  return PrivateProfile::ReadString(kSection, kServerList, "", kBufferSize, path_);
}

std::string ServerListFile::backup() const {
  return PrivateProfile::ReadString(kSection, kBackup, "", kBufferSize, path_);
}

bool ServerListFile::prepare() const {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  return !ec;
}

std::string ServerListFile::compose(std::string_view serverList, const std::string* backup) {
  std::string text = "[" + std::string(kSection) + "]\r\n";
  text += std::string(kServerList) + "=" + std::string(serverList) + "\r\n";
  if (backup) text += std::string(kBackup) + "=" + *backup + "\r\n";
  return text;
}

// The file holds nothing else, so each change writes it whole: both values
// change together, in one rename.
bool ServerListFile::select(std::string_view server, const std::vector<std::string>& names) const {
  if (!prepare()) return false;
  const std::string backup = JoinServerNames(names);
  return WriteFileAtomically(path_, compose(server.substr(0, kServerLength), &backup));
}

bool ServerListFile::restore(const std::vector<std::string>& names) const {
  if (!prepare()) return false;
  return WriteFileAtomically(path_, compose(JoinServerNames(names), nullptr));
}

}  // namespace tolvik
