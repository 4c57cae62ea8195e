#include "ui/face/attach_command.h"

#include <QAction>
#include <QCoreApplication>
#include <QProcess>
#include <QWidget>

#include "display/chat_display.h"
#include "storage/profile_dir.h"
#include "ui/dialogs/attach_dialog.h"

namespace tolvik::ui {

QAction* MakeAttachAction(QWidget* window, std::function<std::string()> profile, std::string ownDir,
                          ChatDisplay& display) {
  auto* action = new QAction(QObject::tr("&Attach to a Running Bot..."), window);
  action->setObjectName(QStringLiteral("attachToRunningBot"));
  action->setStatusTip(QObject::tr("Show and moderate a bot that runs without a window, in a window of its own"));
  QObject::connect(action, &QAction::triggered, window, [window, profile, ownDir, &display] {
    AttachDialog dialog(ListProfiles(), profile(), window);
    if (dialog.exec() != QDialog::Accepted) return;
    const WorkingDirectory dir = dialog.chosen();
    if (!dir.error.empty()) {
      display.print(TextType::BotInfo, "Cannot attach: %s", dir.error.c_str());
    } else if (dir.path == ownDir) {
      display.print(TextType::BotInfo, "This window runs the bot of %s itself.", dir.path.c_str());
    } else if (!QProcess::startDetached(QCoreApplication::applicationFilePath(),
                                        {QStringLiteral("--attach"), QStringLiteral("--dir"),
                                         QString::fromStdString(dir.path)})) {
      display.print(TextType::BotInfo, "Cannot start a window for the bot of %s", dir.path.c_str());
    }
  });
  return action;
}

}  // namespace tolvik::ui
