#pragma once
// The settings kept in Bot.ini: plain structs with their keys, defaults and
// limits, their loaders, and the writers the configuration pages use.
//
// Two readers share the file. [Init] strings, [AutoSend], [Messages] and the
// server list go through ProfileFile (escaped); the numbers, [Security],
// [AutoDesignate] and [Fonts] through PrivateProfile. A missing Bot.ini or
// key gives the defaults. Longer values are cut to the limits below.
//
// A string value of a single LF ("\n") means "not set"; it is the default of
// most string keys. Consumers treat "" and a value beginning with LF alike
// (IsUnset).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvik {

// Where the bot keeps its files, built once from the working directory.
struct ConfigPaths {
  std::string workingDirectory;
  std::string botIni;      // working directory + "/Bot.ini"
  std::string scriptIni;   // working directory + "/script.ini"
  std::string scriptsDir;  // working directory + "/scripts/"

  static ConfigPaths FromWorkingDirectory(const std::string& dir);
};

// `dir` and `name` joined with one "/".
std::string JoinPath(std::string_view dir, std::string_view name);

inline constexpr std::string_view kUnset = "\n";
inline bool IsUnset(std::string_view value) { return value.empty() || value[0] == '\n'; }

// An [AutoSend] text as one line for the server: the built-in defaults carry
// their own LF ("/time\n") and callers add one, so trailing line ends go.
inline std::string AsOneLine(std::string_view value) {
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.remove_suffix(1);
  return std::string(value);
}

// Field limits in characters (the buffers hold one more).
inline constexpr size_t kLoginFieldLimit = 29;   // [Init] Login, Password, Server, Channel
// A chat API address (wss://...) and its API key are longer than a gateway's
// values; both keep to this limit instead.
inline constexpr size_t kApiFieldLimit = 127;
inline constexpr size_t kServerListLimit = 1023;  // [Init] ServerList
inline constexpr size_t kAutoSendLimit = 254;     // [AutoSend] AntiIdleMsg, Join, Leave
inline constexpr size_t kSecurityLimit = 29;      // [Security] ChannelPassword, WhisperPassword
inline constexpr size_t kDesignateLimit = 19;     // [AutoDesignate] Designate0..9
inline constexpr size_t kPingTextLimit = 49;      // [Messages] Ping

// ---- [Init] -----------------------------------------------------------------

struct LoginSettings {
  std::string login{kUnset};
  std::string password{kUnset};
  std::string server{kUnset};
  std::string channel{kUnset};
  bool autoLogin = false;     // AutoLogin: connect at start-up
  bool savePassword = false;  // SavePassword: the password is stored
  int32_t pagerEnableTime = 0;
  // [Init] CAFile, else $TOLVIK_CA_FILE: a CA certificate trusted for the
  // chat API besides the system's store. Empty: the system's store alone.
  std::string caFile;
};

// The limit a typed or stored password (API key) keeps to for that server.
size_t PasswordLimitFor(std::string_view server);

// Login, Password, Server, Channel are stored escaped and come back plain.
LoginSettings LoadLoginSettings(const std::string& botIni);

// What the login page writes on OK: Login, Password (the unset marker when
// savePassword is off), Channel, AutoLogin and SavePassword ("1"/"0").
// Server is written by SaveServer. Like every ProfileFile write, nothing is
// written when Bot.ini does not exist; the result is then false.
bool SaveLoginSettings(const std::string& botIni, const LoginSettings& settings);
bool SaveServer(const std::string& botIni, std::string_view server);

// [Init] ServerList: servers separated by blanks or semicolons; "\n" when unset.
std::string LoadServerList(const std::string& botIni);
bool SaveServerList(const std::string& botIni, std::string_view list);

// ---- [Toggles] --------------------------------------------------------------

// A stored toggle value: bit 0 the state at start, bit 1 "save changes".
struct Toggle {
  bool state = false;
  bool save = false;
};

struct Toggles {
  Toggle ViewChatUpdates{true, false};
  Toggle AutoRespond{true, false};
  Toggle AutoViewAliases{true, false};
  Toggle IdLogging{false, false};
  Toggle HighlightUsers{true, false};
  Toggle ViewPings{false, false};
  Toggle ViewText{false, false};
  Toggle ViewEnterLeave{false, false};
  Toggle AllowPage{true, false};
  Toggle AutoSave{false, false};
};

struct ToggleKey {
  const char* key;
  Toggle Toggles::*field;
  int32_t defaultValue;
};

// The ten toggles in the order of the toggles page.
extern const std::array<ToggleKey, 10> kToggleKeys;

// Read once when the document is created.
Toggles LoadToggles(const std::string& botIni);

// Writes a toggle's stored value ("%i") through ProfileFile.
bool WriteToggle(const std::string& botIni, std::string_view key, int value);

// The value to store after the user flipped a remembered toggle to `state`:
// 3 or 2, but 1 or 0 for ViewPings, which stops remembering after one flip.
int RememberedToggleValue(std::string_view key, bool state);

// ---- Bot settings: [Commands], [Restrictions], [AutoSend], [Security], [AutoDesignate]

// The access level each command needs; -1 (every user) when missing.
struct CommandLevels {
  int32_t Say = -1, Whisper = -1, WhisperTagged = -1, Me = -1, MeTagged = -1, Kick = -1, KickTagged = -1,
          Ban = -1, BanTagged = -1, Unban = -1, Designate = -1, Resign = -1, MakeOp = -1, Add = -1, Del = -1,
          Promote = -1, Demote = -1, Stats = -1, Forward = -1, Help = -1, Join = -1, Rejoin = -1, Away = -1,
          Page = -1, Buddy = -1, List = -1, AutoBan = -1, AutoKick = -1, Lookup = -1, Who = -1, IP = -1;

  // The field of a [Commands] key (case-insensitive), or nullptr.
  const int32_t* Find(std::string_view key) const;
};

struct CommandLevelKey {
  const char* key;
  int32_t CommandLevels::*field;
};
extern const std::array<CommandLevelKey, 31> kCommandLevelKeys;

// Per-login-type limits; -1 when missing.
struct Restrictions {
  int32_t NumBots = -1, NumDiablo = -1, NumDiabloSW = -1, NumSC = -1, NumSCSware = -1, NumBW = -1, NumWC = -1;
};

struct RestrictionKey {
  const char* key;
  int32_t Restrictions::*field;
};
extern const std::array<RestrictionKey, 7> kRestrictionKeys;

inline constexpr std::string_view kDefaultAutoSend = "/time\n";

struct BotSettings {
  CommandLevels commands;
  Restrictions restrictions;
  // [AutoSend], read escaped and used as read.
  std::string antiIdleMsg{kDefaultAutoSend};
  std::string joinMsg{kDefaultAutoSend};
  std::string leaveMsg{kDefaultAutoSend};
  // [Security]
  std::string channelPassword;
  std::string whisperPassword;
  // [AutoDesignate] Designate0..9: heirs in priority order, "\n" when unset.
  std::array<std::string, 10> designate;

  BotSettings() { designate.fill(std::string(kUnset)); }
};

// Loaded when the bot is created and again on "Reload Bot.ini".
BotSettings LoadBotSettings(const std::string& botIni);

// [AutoSend] Leave as read when the application closes: "\n" when missing.
std::string LoadLeaveMessageAtExit(const std::string& botIni);

// [Messages] Ping: the text shown for a keep-alive, "[Ping]" by default.
std::string LoadPingText(const std::string& botIni);

}  // namespace tolvik
