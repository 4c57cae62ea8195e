#pragma once
// The "Servers" page of the "Bot Configurator": the list of servers kept in
// [Init] ServerList, the server chosen for this run, and the saved default.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/config.h"
#include "app/sheets/page_values.h"

namespace tolvik {

class CHaldenDoc;

class ServersPage {
 public:
  // A server name must fit [Init] Server.
  static constexpr size_t kServerLimit = kLoginFieldLimit;
  // A chat API address (wss://host/path) may be longer.
  static constexpr size_t kApiServerLimit = kApiFieldLimit;

  static constexpr std::string_view kHelpText =
      "This tab allows you to select the battle.net server you wish to connect to.  Select a server in the list "
      "to use it for this run; press Save to make it the server used at every start.  Type a name or address "
      "and press Add Server to add it to the list, or select one and press Delete to remove it.  Changes to "
      "the list are saved at once.";

  // Reads [Init] ServerList (split at blanks and semicolons; nothing listed
  // when it is not set) and selects the entry equal to `currentServer`.
  void Load(const std::string& botIni, const std::string& currentServer);

  const std::vector<std::string>& servers() const { return servers_; }
  // The list entry selected, -1 when none.
  int selectedIndex() const { return selected_index_; }
  // The server OK will use: the selected entry, or the current server.
  const std::string& selectedServer() const { return selected_server_; }
  // The list as stored in [Init] ServerList.
  const std::string& serverListText() const { return list_text_; }

  void Select(int index);

  // "Add Server": adds the server to the list, writes [Init] ServerList at
  // once, so the addition outlives a Cancel, and selects it. A server
  // already listed is selected. Refused for an empty name, one with blanks or
  // semicolons, one longer than kServerLimit, or a list that would pass
  // kServerListLimit characters.
  PageOutcome AddServer(std::string_view server);
  // "Delete ": removes the selected entry and writes the rest, joined by ";".
  PageOutcome DeleteSelected();
  // "Save": writes [Init] Server and makes it the server of this run.
  PageOutcome SaveSelected(LoginSettings& login);
  PageOutcome SaveSelected(CHaldenDoc& doc);

  // OK: the selected server becomes the document's server for this run
  // (Bot.ini keeps its own unless saved); while no connection is under way
  // (`connectionState` idle) the status server becomes it too.
  void Apply(LoginSettings& login, int connectionState, std::string& statusServer) const;
  // The same on the document; and while Bot.ini stores no server at all, the
  // server this run now uses is saved as the default, so a first setup holds
  // at the next start.
  PageOutcome Apply(CHaldenDoc& doc) const;

 private:
  PageOutcome WriteList(std::string text);
  PageOutcome SaveIfNoneStored() const;

  std::string bot_ini_;
  std::vector<std::string> servers_;
  std::string list_text_;
  std::string selected_server_;
  int selected_index_ = -1;
};

}  // namespace tolvik
