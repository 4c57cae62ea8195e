#include "ui/chat_commands.h"

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>

#include "ui/chat_pane.h"
#include "ui/find_bar.h"
#include "ui/icons.h"
#include "ui/window_commands.h"

namespace tolvik::ui {
namespace {

class Text {
  Q_DECLARE_TR_FUNCTIONS(ChatCommands)
};

}  // namespace

ChatCommands AddChatCommands(QMainWindow& window, ChatPane& pane, FindBar& findBar, const ChatCommandTips& tips) {
  ChatCommands c{};
  c.fileLogging =
      AddWindowCommand(window, Text::tr("File Logging"), Text::tr("Start or stop writing the chat to a log file"));
  c.fileLogging->setCheckable(true);
  QAction* logging = c.fileLogging;
  QObject::connect(logging, &QAction::triggered, &pane, [&pane, logging](bool on) {
    pane.setLogging(on);
    logging->setChecked(pane.isLogging());
  });
  QObject::connect(&pane, &ChatPane::loggingChanged, logging, &QAction::setChecked);

  c.selectAll = AddWindowCommand(window, Text::tr("Select All Visible\tCtl-A"),
                                 Text::tr("Select the chat text in view"), QKeySequence(Qt::CTRL | Qt::Key_A));
  QObject::connect(c.selectAll, &QAction::triggered, &pane, &ChatPane::selectAllVisible);
  c.copy = AddWindowCommand(window, Text::tr("&Copy\tCtl+C"), Text::tr("Copy the selection to the clipboard"));
  c.copy->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
  c.find = AddWindowCommand(window, Text::tr("&Find...\tCtrl+F"), Text::tr("Find text in the chat"),
                            QKeySequence(Qt::CTRL | Qt::Key_F));
  QObject::connect(c.find, &QAction::triggered, &findBar, &FindBar::open);

  c.configure =
      AddWindowCommand(window, Text::tr("Configure Bot"), Text::tr("Change the login, servers, fonts and toggles"));
  c.configure->setToolTip(Text::tr("Config Bot"));
  c.configure->setIcon(DrawToolIcon(ToolIcon::ConfigBot));
  c.responses = AddWindowCommand(window, Text::tr("Setup Responses and Automation"),
                                 Text::tr("Change command levels, users, responses, heirs and restrictions"));
  c.responses->setToolTip(Text::tr("Stats"));
  c.responses->setIcon(DrawToolIcon(ToolIcon::Responses));

  c.connect = AddWindowCommand(window, Text::tr("Connect"), tips.connect, QKeySequence(Qt::ALT | Qt::Key_C));
  c.connect->setToolTip(Text::tr("Connect to B.net"));
  c.connect->setIcon(DrawToolIcon(ToolIcon::Connect));
  c.disconnect = AddWindowCommand(window, Text::tr("Disconnect"), tips.disconnect, QKeySequence(Qt::ALT | Qt::Key_D));
  c.disconnect->setToolTip(Text::tr("Disconnect from Battle.net"));
  c.disconnect->setIcon(DrawToolIcon(ToolIcon::Disconnect));
  c.clearChat = AddWindowCommand(window, Text::tr("Clear Chat Window"), tips.clearChat);
  c.clearChat->setIcon(DrawToolIcon(ToolIcon::ClearChat));
  QObject::connect(c.clearChat, &QAction::triggered, &pane, &ChatPane::clearChat);
  c.whisperBar = AddWindowCommand(window, Text::tr("Whisper Bar"),
                                  Text::tr("Whisper to the selected users and to names you type"));
  return c;
}

}  // namespace tolvik::ui
