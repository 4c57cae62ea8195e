// tolvik-cli: Tolvik in a terminal, for machines without a display.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/chat_bar.h"
#include "app/document.h"
#include "storage/instance_lock.h"
#include "storage/profile_dir.h"
#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/colour_choice.h"
#include "cli/console_output.h"
#include "cli/face_options.h"
#include "cli/face_terminal.h"
#include "face/face_hub.h"
#include "face/local_faces.h"
#include "face/remote_faces.h"
#include "cli/line_editor.h"
#include "cli/terminal_display.h"
#include "cli/typed_lines.h"

namespace {

const char kVersion[] =
    "tolvik-cli " TOLVIK_VERSION "\n"
    "Copyright (C) 2026 The Tolvik developers\n"
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl-3.0.html>\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n"
    "Project: " TOLVIK_HOMEPAGE "\n";

}  // namespace

int main(int argc, char** argv) {
  const tolvik::CliOptions options = tolvik::ParseCliOptions(argc, argv);
  switch (options.action) {
    case tolvik::CliOptions::Action::Help:
      std::fputs(tolvik::CliUsage(), stdout);
      return 0;
    case tolvik::CliOptions::Action::Version:
      std::fputs(kVersion, stdout);
      return 0;
    case tolvik::CliOptions::Action::Error:
      std::fprintf(stderr, "tolvik-cli: %s\n%s", options.error.c_str(), tolvik::CliUsage());
      return 2;
    case tolvik::CliOptions::Action::SetFacePassword:
      return tolvik::RunSetFacePassword(options);
    case tolvik::CliOptions::Action::Run:
      break;
  }

  const tolvik::WorkingDirectory work = tolvik::ResolveWorkingDirectory(options.dir, options.profile);
  if (work.path.empty()) {
    std::fprintf(stderr, "tolvik-cli: %s\n", work.error.c_str());
    return 2;
  }
  if (options.attach) {
    if (!options.attach_to.empty()) {
      tolvik::FaceTarget target;
      std::string error;
      if (!tolvik::OpenRemoteFace(options, work.path, &target, &error)) {
        std::fprintf(stderr, "tolvik-cli: %s\n", error.c_str());
        return 1;
      }
      return tolvik::RunFaceTerminal(target, options.colour);
    }
    return tolvik::RunFaceTerminal(tolvik::LocalFaceTarget(work.path), options.colour);
  }
  // Before any file of the directory is touched: another program may own them.
  tolvik::InstanceLock lock;
  if (!lock.Acquire(work.path)) {
    std::fprintf(stderr, "tolvik-cli: %s\n", lock.Message().c_str());
    if (lock.Holder() > 0)
      std::fprintf(stderr, "tolvik-cli: to watch and moderate that bot from here, add --attach\n");
    // Held by another program: 4. A lock file that cannot be made means a
    // directory the bot cannot use at all, like a missing one: 2.
    return lock.Holder() > 0 || lock.Message().rfind("another", 0) == 0 ? 4 : 2;
  }
  if (::chdir(work.path.c_str()) != 0) {
    std::perror("tolvik-cli: chdir");
    return 2;
  }

  const bool interactive = ::isatty(STDIN_FILENO) != 0;
  const bool output_is_terminal = ::isatty(STDOUT_FILENO) != 0;
  // Into a pipe or a file the lines of a pass go out in large writes.
  if (!output_is_terminal) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  tolvik::ConsoleOutput out(stdout, output_is_terminal);
  tolvik::TerminalDisplay display(out, tolvik::ChooseColourDepth(options.colour, std::getenv("NO_COLOR"),
                                                                 std::getenv("TERM"), std::getenv("COLORTERM"),
                                                                 output_is_terminal));
  tolvik::CliHost host(out, interactive);
  tolvik::CHaldenDoc doc(work.path, display, host);

  if (!interactive) {
    std::vector<std::string> missing;
    if (tolvik::IsUnset(doc.Login().login)) missing.push_back("Login");
    if (tolvik::IsUnset(doc.Login().password)) missing.push_back("Password");
    if (tolvik::IsUnset(doc.Login().server)) missing.push_back("Server");
    if (!missing.empty()) {
      std::string keys;
      for (const auto& k : missing) keys += (keys.empty() ? "" : ", ") + k;
      // The service's journal shows this: say how to get the values in.
      const std::string ask_once =
          work.profile.empty() ? "tolvik-cli --dir " + work.path : "tolvik-cli --profile " + work.profile;
      std::fprintf(stderr,
                   "tolvik-cli: Bot.ini in %s has no [Init] %s; set %s there, or run `%s` on a terminal "
                   "once to be asked, and start again.\n",
                   work.path.c_str(), keys.c_str(), missing.size() > 1 ? "them" : "it", ask_once.c_str());
      return 3;
    }
  }

  if (!work.profile.empty()) out.Line("-- Profile: " + work.profile + " (" + work.path + ")");
  host.SetDocument(&doc);
  // Faces (tolvik-cli --attach, the window) attach here; this program holds
  // the directory's lock, so a socket left by a bot that died is replaced.
  tolvik::FaceHub faces(doc, host);
  std::string listen_error;
  if (auto listener = tolvik::ListenForLocalFaces(work.path, &listen_error))
    faces.AddListener(std::move(listener));
  else
    out.Line("-- Faces cannot attach: " + listen_error);
  tolvik::ListenForRemoteFaces(doc, faces);
  host.SetAfterPass([&] { faces.Refresh(); });
  // A first run asks on the terminal, server first; input that ends before
  // every value is given leaves the bot offline.
  const bool ready = !interactive || host.AskMissingLoginValues(doc.Login(), doc.Paths().botIni);
  out.Line(tolvik::StatusLine(doc.StatusText()));
  if (ready)
    doc.Connect();
  else
    out.Line("-- Not connected: a login value is missing (//connect asks again).");
  tolvik::ChatBar chat_bar(doc);
  tolvik::TypedLines typed(doc, chat_bar, host, out);
  const auto on_line = [&](const std::string& line) { typed.Run(line); };

  // An input line with editing and history when both ends are a terminal.
  std::unique_ptr<tolvik::LineEditor> editor;
  if (interactive && output_is_terminal) {
    editor = std::make_unique<tolvik::LineEditor>(
        work.path + "/" + tolvik::LineEditor::kHistoryFile, on_line, [&](const std::string& before) {
          // Tab completes the last word from the channel's names, as the chat bar does;
          // the same text again steps to the next name.
          chat_bar.setText(before);
          chat_bar.completeName(true);
          return chat_bar.text();
        },
        [&](const std::string& note) { out.Line("-- " + note); });
    out.SetEditor(editor.get());
    host.SetEditor(editor.get());
    editor->Start();
  }
  const int status = host.Run(doc, on_line);
  if (editor) {
    editor->HideInput();
    editor->Stop();
    out.SetEditor(nullptr);
    host.SetEditor(nullptr);
  }
  return status;
}
