#include "cli/cli_options.h"

#include <getopt.h>

#include <cstring>

namespace tolvik {
namespace {

const char kUsage[] =
    "Usage: tolvik-cli [OPTION]...\n"
    "Runs the Tolvik chat bot in a terminal. It keeps Bot.ini, script.ini, users.lst,\n"
    "autoban.lst and its alias database in its working directory: the profile's\n"
    "directory under ~/.local/share/tolvik (the \"default\" profile unless --profile\n"
    "names another), or the directory --dir names.\n"
    "It connects at once to the server of Bot.ini [Init] and shows the channel.\n"
    "\n"
    "Options:\n"
    "  -d, --dir=DIR        run in DIR\n"
    "  -p, --profile=NAME   run in the profile NAME (created on first use)\n"
    "      --color[=WHEN]   colour the chat lines: auto (the default), always or never\n"
    "      --set-face-password\n"
    "                       set the password that faces attaching over the network\n"
    "                       must give (read from standard input when it is not a\n"
    "                       terminal, else asked twice) and exit\n"
    "      --attach[=HOST:PORT]\n"
    "                       attach to the bot already running in the directory (a\n"
    "                       service, say) instead of running one, or over the network\n"
    "                       to the bot listening at HOST:PORT; //quit or Ctrl+D\n"
    "                       detaches and leaves it running\n"
    "      --face-password-file=FILE\n"
    "                       with --attach HOST:PORT: the face password is the first\n"
    "                       line of FILE (else it is asked on the terminal)\n"
    "      --face-ca=FILE   with --attach HOST:PORT: take a bot certificate signed by\n"
    "                       the CA of FILE without asking\n"
    "  -h, --help           show this text and exit\n"
    "  -V, --version        show the version and the licence and exit\n"
    "\n"
    "Typed lines are sent as from the chat bar (Up and Down recall them, Tab completes\n"
    "a user's name, Ctrl+R searches the history). Lines starting with // are local;\n"
    "//help lists them.\n"
    "\n"
    "Exit status: 0 after a clean stop, 1 on a failure, 2 for a bad option or\n"
    "directory, 3 when Bot.ini lacks a login value and there is no terminal to ask,\n"
    "4 when another Tolvik program already runs in the directory.\n";

bool ParseColour(const char* value, ColourMode& mode) {
  if (value == nullptr || std::strcmp(value, "always") == 0 || std::strcmp(value, "yes") == 0 ||
      std::strcmp(value, "force") == 0) {
    mode = ColourMode::Always;
  } else if (std::strcmp(value, "never") == 0 || std::strcmp(value, "no") == 0 ||
             std::strcmp(value, "none") == 0) {
    mode = ColourMode::Never;
  } else if (std::strcmp(value, "auto") == 0 || std::strcmp(value, "tty") == 0 ||
             std::strcmp(value, "if-tty") == 0) {
    mode = ColourMode::Auto;
  } else {
    return false;
  }
  return true;
}

}  // namespace

const char* CliUsage() { return kUsage; }

CliOptions ParseCliOptions(int argc, char** argv) {
  enum { kColour = 0x100, kSetFacePassword, kAttach, kFacePasswordFile, kFaceCa };
  static const option kLong[] = {
      {"dir", required_argument, nullptr, 'd'},
      {"profile", required_argument, nullptr, 'p'},
      {"color", optional_argument, nullptr, kColour},
      {"colour", optional_argument, nullptr, kColour},
      {"set-face-password", no_argument, nullptr, kSetFacePassword},
      {"attach", optional_argument, nullptr, kAttach},
      {"face-password-file", required_argument, nullptr, kFacePasswordFile},
      {"face-ca", required_argument, nullptr, kFaceCa},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  CliOptions options;
  // getopt keeps its place in globals: 0 starts a fresh scan. The leading
  // ':' lets us word the errors ourselves rather than getopt printing them.
  optind = 0;
  opterr = 0;
  for (;;) {
    const int c = getopt_long(argc, argv, ":d:p:hV", kLong, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'd':
        options.dir = optarg;
        break;
      case 'p':
        options.profile = optarg;
        break;
      case kColour:
        if (!ParseColour(optarg, options.colour)) {
          options.action = CliOptions::Action::Error;
          options.error = std::string("invalid argument '") + optarg + "' for --color (auto, always or never)";
          return options;
        }
        break;
      case kSetFacePassword:
        if (options.action == CliOptions::Action::Run) options.action = CliOptions::Action::SetFacePassword;
        break;
      case kAttach:
        options.attach = true;
        // "--attach HOST:PORT" as well as "--attach=HOST:PORT".
        if (optarg == nullptr && optind < argc && argv[optind][0] != '-') optarg = argv[optind++];
        options.attach_to = optarg != nullptr ? optarg : "";
        break;
      case kFacePasswordFile:
        options.face_password_file = optarg;
        break;
      case kFaceCa:
        options.face_ca = optarg;
        break;
      case 'h':
        if (options.action == CliOptions::Action::Run) options.action = CliOptions::Action::Help;
        break;
      case 'V':
        if (options.action == CliOptions::Action::Run) options.action = CliOptions::Action::Version;
        break;
      case ':':
        options.action = CliOptions::Action::Error;
        options.error = std::string("option '") + argv[optind - 1] + "' needs an argument";
        return options;
      default:
        options.action = CliOptions::Action::Error;
        // A short option names its letter; a long one (optopt 0) is the word just read.
        options.error = optopt != 0 ? std::string("unknown option '-") + static_cast<char>(optopt) + "'"
                                    : std::string("unknown option '") + argv[optind - 1] + "'";
        return options;
    }
  }
  if (optind < argc) {
    options.action = CliOptions::Action::Error;
    options.error = std::string("unexpected argument '") + argv[optind] + "'";
  } else if (options.action == CliOptions::Action::Run && options.attach_to.empty() &&
             (!options.face_password_file.empty() || !options.face_ca.empty())) {
    options.action = CliOptions::Action::Error;
    options.error = std::string(options.face_ca.empty() ? "--face-password-file" : "--face-ca") +
                    " goes with --attach HOST:PORT";
  } else if (options.action == CliOptions::Action::SetFacePassword && options.attach) {
    options.action = CliOptions::Action::Error;
    options.error = "--set-face-password sets the password of the bot in --dir or --profile; leave out --attach";
  }
  return options;
}

}  // namespace tolvik
