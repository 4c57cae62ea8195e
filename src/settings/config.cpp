#include "settings/config.h"

#include <cstdlib>
#include <string>

#include "storage/ini_text.h"
#include "storage/private_profile.h"
#include "storage/profile_file.h"
#include "net/transport.h"

namespace tolvik {
namespace {

constexpr std::string_view kInit = "Init";
// The doubling undone on [Init] strings after reading.
constexpr std::string_view kInitEscapes = "[]=";

std::string ReadEscaped(std::string_view section, std::string_view key, std::string_view def, size_t limit,
                        const std::string& botIni) {
  std::string value;
  ProfileFile::Read(section, key, def, value, limit + 1, botIni);
  return value;
}

std::string ReadInitString(std::string_view key, const std::string& botIni, size_t limit = kLoginFieldLimit) {
  return ProfileFile::Unescape(ReadEscaped(kInit, key, kUnset, limit, botIni), kInitEscapes);
}

}  // namespace

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

ConfigPaths ConfigPaths::FromWorkingDirectory(const std::string& dir) {
  ConfigPaths p;
  p.workingDirectory = dir;
  p.botIni = JoinPath(dir, "Bot.ini");
  p.scriptIni = JoinPath(dir, "script.ini");
  p.scriptsDir = JoinPath(dir, "scripts/");
  return p;
}

// ---- [Init]

size_t PasswordLimitFor(std::string_view server) {
  return TransportTraitsFor(server).secret_limit;
}

LoginSettings LoadLoginSettings(const std::string& botIni) {
  LoginSettings s;
  s.login = ReadInitString("Login", botIni);
  s.server = ReadInitString("Server", botIni, kApiFieldLimit);
  const size_t server_limit = TransportTraitsFor(s.server).server_limit;
  if (s.server.size() > server_limit) s.server.resize(server_limit);
  s.password = ReadInitString("Password", botIni, PasswordLimitFor(s.server));
  ProfileFile::Read(kInit, "CAFile", "", s.caFile, 1024, botIni);
  if (s.caFile.empty()) {
    const char* env = std::getenv("TOLVIK_CA_FILE");
    if (env != nullptr) s.caFile = env;
  }
  s.channel = ReadInitString("Channel", botIni);
  s.autoLogin = PrivateProfile::ReadInt(kInit, "AutoLogin", 0, botIni) != 0;
  s.savePassword = PrivateProfile::ReadInt(kInit, "SavePassword", 0, botIni) != 0;
  s.pagerEnableTime = PrivateProfile::ReadInt(kInit, "PagerEnableTime", 0, botIni);
  return s;
}

bool SaveLoginSettings(const std::string& botIni, const LoginSettings& s) {
  bool ok = ProfileFile::Write(kInit, "Login", s.login, botIni);
  if (s.savePassword) {
    ok = ProfileFile::Write(kInit, "Password", s.password, botIni) && ok;
  } else {
    // The unset marker is written as a line end, which leaves a blank line
    // after "Password=". Writing it again over a password that is already
    // unset would add one more blank line each time, so skip that case.
    std::string stored;
    bool found = ProfileFile::Read(kInit, "Password", kUnset, stored, kLoginFieldLimit + 1, botIni);
    if (!found || !IsUnset(stored)) ok = ProfileFile::Write(kInit, "Password", kUnset, botIni) && ok;
  }
  ok = ProfileFile::Write(kInit, "Channel", s.channel, botIni) && ok;
  ok = ProfileFile::Write(kInit, "AutoLogin", s.autoLogin ? "1" : "0", botIni) && ok;
  ok = ProfileFile::Write(kInit, "SavePassword", s.savePassword ? "1" : "0", botIni) && ok;
  return ok;
}

bool SaveServer(const std::string& botIni, std::string_view server) {
  return ProfileFile::Write(kInit, "Server", server, botIni);
}

std::string LoadServerList(const std::string& botIni) {
  return ReadEscaped(kInit, "ServerList", kUnset, kServerListLimit, botIni);
}

bool SaveServerList(const std::string& botIni, std::string_view list) {
  return ProfileFile::Write(kInit, "ServerList", list, botIni);
}

// ---- [Toggles]

const std::array<ToggleKey, 10> kToggleKeys = {{
    {"ViewChatUpdates", &Toggles::ViewChatUpdates, 1},
    {"AutoRespond", &Toggles::AutoRespond, 1},
    {"AutoViewAliases", &Toggles::AutoViewAliases, 1},
    {"IdLogging", &Toggles::IdLogging, 0},
    {"HighlightUsers", &Toggles::HighlightUsers, 1},
    {"ViewPings", &Toggles::ViewPings, 0},
    {"ViewText", &Toggles::ViewText, 0},
    {"ViewEnterLeave", &Toggles::ViewEnterLeave, 0},
    {"AllowPage", &Toggles::AllowPage, 1},
    {"AutoSave", &Toggles::AutoSave, 0},
}};

Toggles LoadToggles(const std::string& botIni) {
  Toggles t;
  for (const ToggleKey& k : kToggleKeys) {
    int32_t v = PrivateProfile::ReadInt("Toggles", k.key, k.defaultValue, botIni);
    t.*k.field = Toggle{(v & 1) != 0, (v & 2) != 0};
  }
  return t;
}

bool WriteToggle(const std::string& botIni, std::string_view key, int value) {
  return ProfileFile::Write("Toggles", key, std::to_string(value), botIni);
}

int RememberedToggleValue(std::string_view key, bool state) {
  if (ini::EqualsIgnoreCase(key, "ViewPings")) return state ? 1 : 0;
  return state ? 3 : 2;
}

// ---- Bot settings

const std::array<CommandLevelKey, 31> kCommandLevelKeys = {{
    {"Say", &CommandLevels::Say},
    {"Whisper", &CommandLevels::Whisper},
    {"WhisperTagged", &CommandLevels::WhisperTagged},
    {"Me", &CommandLevels::Me},
    {"MeTagged", &CommandLevels::MeTagged},
    {"Kick", &CommandLevels::Kick},
    {"KickTagged", &CommandLevels::KickTagged},
    {"Ban", &CommandLevels::Ban},
    {"BanTagged", &CommandLevels::BanTagged},
    {"Unban", &CommandLevels::Unban},
    {"Designate", &CommandLevels::Designate},
    {"Resign", &CommandLevels::Resign},
    {"MakeOp", &CommandLevels::MakeOp},
    {"Add", &CommandLevels::Add},
    {"Del", &CommandLevels::Del},
    {"Promote", &CommandLevels::Promote},
    {"Demote", &CommandLevels::Demote},
    {"Stats", &CommandLevels::Stats},
    {"Forward", &CommandLevels::Forward},
    {"Help", &CommandLevels::Help},
    {"Join", &CommandLevels::Join},
    {"Rejoin", &CommandLevels::Rejoin},
    {"Away", &CommandLevels::Away},
    {"Page", &CommandLevels::Page},
    {"Buddy", &CommandLevels::Buddy},
    {"List", &CommandLevels::List},
    {"AutoBan", &CommandLevels::AutoBan},
    {"AutoKick", &CommandLevels::AutoKick},
    {"Lookup", &CommandLevels::Lookup},
    {"Who", &CommandLevels::Who},
    {"IP", &CommandLevels::IP},
}};

const int32_t* CommandLevels::Find(std::string_view key) const {
  for (const CommandLevelKey& k : kCommandLevelKeys)
    if (ini::EqualsIgnoreCase(key, k.key)) return &(this->*k.field);
  return nullptr;
}

const std::array<RestrictionKey, 7> kRestrictionKeys = {{
    {"NumBots", &Restrictions::NumBots},
    {"NumDiablo", &Restrictions::NumDiablo},
    {"NumDiabloSW", &Restrictions::NumDiabloSW},
    {"NumSC", &Restrictions::NumSC},
    {"NumSCSware", &Restrictions::NumSCSware},
    {"NumBW", &Restrictions::NumBW},
    {"NumWC", &Restrictions::NumWC},
}};

BotSettings LoadBotSettings(const std::string& botIni) {
  BotSettings s;
  for (const CommandLevelKey& k : kCommandLevelKeys)
    s.commands.*k.field = PrivateProfile::ReadInt("Commands", k.key, -1, botIni);
  for (const RestrictionKey& k : kRestrictionKeys)
    s.restrictions.*k.field = PrivateProfile::ReadInt("Restrictions", k.key, -1, botIni);

  s.antiIdleMsg = ReadEscaped("AutoSend", "AntiIdleMsg", kDefaultAutoSend, kAutoSendLimit, botIni);
  s.joinMsg = ReadEscaped("AutoSend", "Join", kDefaultAutoSend, kAutoSendLimit, botIni);
  s.leaveMsg = ReadEscaped("AutoSend", "Leave", kDefaultAutoSend, kAutoSendLimit, botIni);

  s.channelPassword = PrivateProfile::ReadString("Security", "ChannelPassword", "", kSecurityLimit + 1, botIni);
  s.whisperPassword = PrivateProfile::ReadString("Security", "WhisperPassword", "", kSecurityLimit + 1, botIni);

  for (size_t i = 0; i < s.designate.size(); ++i) {
    std::string key = "Designate" + std::to_string(i);
    s.designate[i] = PrivateProfile::ReadString("AutoDesignate", key, kUnset, kDesignateLimit + 1, botIni);
  }
  return s;
}

std::string LoadLeaveMessageAtExit(const std::string& botIni) {
  return ReadEscaped("AutoSend", "Leave", kUnset, kAutoSendLimit, botIni);
}

std::string LoadPingText(const std::string& botIni) {
  return ReadEscaped("Messages", "Ping", "[Ping]", kPingTextLimit, botIni);
}

}  // namespace tolvik
