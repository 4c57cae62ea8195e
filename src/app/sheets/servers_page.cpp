#include "app/sheets/servers_page.h"

#include "net/connection_state.h"
#include "app/document.h"
#include "storage/ini_text.h"
#include "net/transport.h"

namespace tolvik {
namespace {

bool IsServerSeparator(char c) { return c == ' ' || c == ';' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

void ServersPage::Load(const std::string& botIni, const std::string& currentServer) {
  bot_ini_ = botIni;
  servers_.clear();
  list_text_ = LoadServerList(botIni);
  if (IsUnset(list_text_)) list_text_.clear();
  size_t i = 0;
  while (i < list_text_.size()) {
    while (i < list_text_.size() && IsServerSeparator(list_text_[i])) ++i;
    size_t start = i;
    while (i < list_text_.size() && !IsServerSeparator(list_text_[i])) ++i;
    if (i > start) servers_.push_back(list_text_.substr(start, i - start));
  }
  selected_server_ = IsUnset(currentServer) ? std::string() : currentServer;
  selected_index_ = -1;
  for (size_t k = 0; k < servers_.size(); ++k) {
    if (ini::EqualsIgnoreCase(servers_[k], selected_server_)) {
      selected_index_ = static_cast<int>(k);
      break;
    }
  }
}

void ServersPage::Select(int index) {
  if (index < 0 || index >= static_cast<int>(servers_.size())) {
    selected_index_ = -1;
    return;
  }
  selected_index_ = index;
  selected_server_ = servers_[static_cast<size_t>(index)];
}

PageOutcome ServersPage::WriteList(std::string text) {
  if (!SaveServerList(bot_ini_, text)) return PageOutcome::Refused("The server list could not be saved in Bot.ini.");
  list_text_ = std::move(text);
  return PageOutcome::Done();
}

PageOutcome ServersPage::AddServer(std::string_view server) {
  server = ini::Trim(server);
  if (server.empty()) return PageOutcome::Refused("Type the name or address of a server first.");
  for (char c : server)
    if (IsServerSeparator(c)) return PageOutcome::Refused("A server name cannot contain blanks or semicolons.");
  const size_t limit = TransportTraitsFor(server).server_limit;
  if (server.size() > limit)
    return PageOutcome::Refused("A server name can have at most " + std::to_string(limit) + " characters.");
  for (size_t k = 0; k < servers_.size(); ++k) {
    if (ini::EqualsIgnoreCase(servers_[k], server)) {
      Select(static_cast<int>(k));
      return PageOutcome::Done();
    }
  }
  std::string text = list_text_.empty() ? std::string(server) : list_text_ + ";" + std::string(server);
  if (text.size() > kServerListLimit) return PageOutcome::Refused("The server list is full; delete a server first.");
  PageOutcome written = WriteList(std::move(text));
  if (!written) return written;
  servers_.emplace_back(server);
  Select(static_cast<int>(servers_.size()) - 1);
  return PageOutcome::Done();
}

PageOutcome ServersPage::DeleteSelected() {
  if (selected_index_ < 0) return PageOutcome::Refused("Select the server to delete first.");
  std::vector<std::string> rest = servers_;
  rest.erase(rest.begin() + selected_index_);
  std::string text;
  for (const std::string& s : rest) text += (text.empty() ? "" : ";") + s;
  PageOutcome written = WriteList(std::move(text));
  if (!written) return written;
  servers_ = std::move(rest);
  selected_index_ = -1;
  return PageOutcome::Done();
}

PageOutcome ServersPage::SaveSelected(LoginSettings& login) {
  if (selected_server_.empty()) return PageOutcome::Refused("Select a server first.");
  if (!SaveServer(bot_ini_, selected_server_))
    return PageOutcome::Refused("The server could not be saved in Bot.ini.");
  login.server = selected_server_;
  return PageOutcome::Done();
}

PageOutcome ServersPage::SaveSelected(CHaldenDoc& doc) { return SaveSelected(doc.Login()); }

void ServersPage::Apply(LoginSettings& login, int connectionState, std::string& statusServer) const {
  if (selected_server_.empty()) return;  // nothing chosen: the server stays as it was
  login.server = selected_server_;
  if (IsIdleState(connectionState)) statusServer = selected_server_;
}

PageOutcome ServersPage::Apply(CHaldenDoc& doc) const {
  std::string status = doc.StatusServer();
  Apply(doc.Login(), doc.State(), status);
  doc.SetStatusServer(status);
  return SaveIfNoneStored();
}

PageOutcome ServersPage::SaveIfNoneStored() const {
  if (selected_server_.empty() || !IsUnset(LoadLoginSettings(bot_ini_).server)) return PageOutcome::Done();
  if (!SaveServer(bot_ini_, selected_server_))
    return PageOutcome::Refused("The server could not be saved in Bot.ini; it applies to this run only.");
  return PageOutcome::Done();
}

}  // namespace tolvik
