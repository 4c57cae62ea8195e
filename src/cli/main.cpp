// tolvik-cli: Tolvik in a terminal, for machines without a display.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/chat_bar.h"
#include "app/document.h"
#include "app/toggle_switch.h"
#include "bot/chat_bot.h"
#include "cli/cli_host.h"
#include "cli/level_command.h"
#include "cli/terminal_display.h"

namespace {

const char kUsage[] =
    "Usage: tolvik-cli [--dir DIR]\n"
    "Runs the Tolvik chat bot in a terminal, in DIR (default: the current directory),\n"
    "where it keeps Bot.ini, script.ini, users.lst, autoban.lst and its alias database.\n"
    "It connects at once to the server of Bot.ini [Init] and shows the channel.\n"
    "\n"
    "Typed lines are sent as from the chat bar. Lines starting with // are local:\n"
    "  //connect  //disconnect  //reload (Bot.ini)  //status  //quit\n"
    "  //level COMMAND N   the level COMMAND needs (0 to 10), kept in Bot.ini [Commands]\n"
    "  //toggle NAME  switches a [Toggles] key of Bot.ini, e.g. //toggle ViewEnterLeave\n"
    "                 (written back to Bot.ini when the key is remembered: value 2 or 3)\n"
    "\n"
    "Options:\n"
    "  --dir DIR    working directory\n"
    "  --help       this text\n"
    "  --version    the version\n";

// "//toggle NAME": flips the toggle and says its new state.
void SwitchToggleByName(tolvik::CHaldenDoc& doc, std::string name) {
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  const tolvik::ToggleKey* key = tolvik::FindToggleKey(name);
  if (!key) {
    std::string keys;
    for (const tolvik::ToggleKey& k : tolvik::kToggleKeys) keys += std::string(keys.empty() ? "" : " ") + k.key;
    std::printf("-- Unknown toggle '%s'; one of: %s\n", name.c_str(), keys.c_str());
    std::fflush(stdout);
    return;
  }
  const bool on = !(doc.GetToggles().*key->field).state;
  tolvik::SwitchToggle(doc, *key, on);
  std::printf("-- %s: %s\n", key->key, on ? "on" : "off");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = ".";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tolvik-cli %s\n", TOLVIK_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
      dir = argv[++i];
      continue;
    }
    std::fprintf(stderr, "tolvik-cli: unknown argument '%s'\n%s", argv[i], kUsage);
    return 2;
  }
  std::error_code ec;
  std::filesystem::path work = std::filesystem::absolute(dir, ec).lexically_normal();
  if (work.has_relative_path() && !work.has_filename()) work = work.parent_path();  // no trailing '/'

  if (ec || !std::filesystem::is_directory(work)) {
    std::fprintf(stderr, "tolvik-cli: '%s' is not a directory\n", dir.c_str());
    return 2;
  }
  if (::chdir(work.c_str()) != 0) {
    std::perror("tolvik-cli: chdir");
    return 2;
  }

  const bool interactive = ::isatty(STDIN_FILENO) != 0;
  tolvik::TerminalDisplay display(stdout, ::isatty(STDOUT_FILENO) != 0);
  tolvik::CliHost host(stdout, interactive);
  tolvik::CHaldenDoc doc(work.string(), display, host);

  if (!interactive) {
    std::vector<std::string> missing;
    if (tolvik::IsUnset(doc.Login().login)) missing.push_back("Login");
    if (tolvik::IsUnset(doc.Login().password)) missing.push_back("Password");
    if (tolvik::IsUnset(doc.Login().server)) missing.push_back("Server");
    if (!missing.empty()) {
      std::string keys;
      for (const auto& k : missing) keys += (keys.empty() ? "" : ", ") + k;
      std::fprintf(stderr, "tolvik-cli: Bot.ini in %s has no [Init] %s; set %s there and start again.\n",
                   work.c_str(), keys.c_str(), missing.size() > 1 ? "them" : "it");
      return 3;
    }
  }

  std::printf("-- Status: %s\n", doc.StatusText().c_str());
  doc.Connect();
  tolvik::ChatBar chat_bar(doc);
  return host.Run(doc, [&](const std::string& line) {
    if (line == "//quit") {
      host.RequestStop();
    } else if (line == "//connect") {
      doc.Connect();
    } else if (line == "//disconnect") {
      doc.Disconnect();
    } else if (line == "//reload") {
      doc.ReloadBotIni();
    } else if (line == "//level" || line.rfind("//level ", 0) == 0) {
      std::printf("-- %s\n", tolvik::RunLevelCommand(doc, std::string_view(line).substr(7)).c_str());
    } else if (line == "//toggle" || line.rfind("//toggle ", 0) == 0) {
      SwitchToggleByName(doc, line.substr(std::string_view("//toggle").size()));
    } else if (line == "//status") {
      std::printf("-- Status: %s\n", doc.StatusText().c_str());
      std::fflush(stdout);
    } else {
      chat_bar.setText(line);
      chat_bar.sendChatLine();
    }
  });
}
