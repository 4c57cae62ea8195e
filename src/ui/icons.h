#pragma once
// The program's own pictures: the toolbar buttons and the application icon,
// drawn with QPainter so no image files are needed.
#include <QIcon>

namespace tolvik::ui {

enum class ToolIcon {
  Connect,
  Disconnect,
  ConfigBot,
  Responses,
  OperatorPage,
  ChatUpdates,
  EnterLeave,
  AutoRespond,
  LastSeen,
  ShowAliases,
  LogAliases,
  Highlight,
  Pings,
  ClearChat,
  SelectServer,
};

// A toolbar picture, 16 x 15 pixels (and twice that for dense screens).
QIcon DrawToolIcon(ToolIcon which);
// The application's icon (window, notification area).
QIcon DrawAppIcon();

}  // namespace tolvik::ui
