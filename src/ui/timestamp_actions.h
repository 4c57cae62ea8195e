#pragma once
// The View menu's two time switches for the chat pane: times before the
// lines shown, and times in the log file. Both off by default, both kept in
// the program's settings.
class QAction;
class QObject;

namespace tolvik::ui {

class ChatPane;

struct TimestampActions {
  QAction* shown;
  QAction* logged;
};

TimestampActions MakeTimestampActions(ChatPane& pane, QObject* parent);

}  // namespace tolvik::ui
