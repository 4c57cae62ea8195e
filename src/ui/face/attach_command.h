#pragma once
// File > "Attach to a Running Bot..." in the window on its own bot: the bot
// picked is shown in a window of its own (another `tolvik --attach`), so the
// bot of this window runs on undisturbed.
#include <functional>
#include <string>

class QAction;
class QWidget;

namespace tolvik {
class ChatDisplay;
}

namespace tolvik::ui {

// The action, owned by `window`; `profile` names the profile the dialog
// starts at; a bot that cannot be shown is reported in `display`.
QAction* MakeAttachAction(QWidget* window, std::function<std::string()> profile, std::string ownDir,
                          ChatDisplay& display);

}  // namespace tolvik::ui
