#include "ui/timestamp_actions.h"

#include <QAction>

#include "ui/chat_pane.h"
#include "ui/program_settings.h"

namespace tolvik::ui {
namespace {

QAction* MakeSwitch(const QString& text, const QString& tip, const char* key, QObject* parent,
                    const std::function<void(bool)>& apply) {
  auto* action = new QAction(text, parent);
  action->setStatusTip(tip);
  action->setCheckable(true);
  const bool on = OpenProgramSettings()->value(QLatin1String(key), false).toBool();
  action->setChecked(on);
  apply(on);
  QObject::connect(action, &QAction::toggled, parent, [key, apply](bool now) {
    apply(now);
    OpenProgramSettings()->setValue(QLatin1String(key), now);
  });
  return action;
}

}  // namespace

TimestampActions MakeTimestampActions(ChatPane& pane, QObject* parent) {
  ChatPane* p = &pane;
  return {
      MakeSwitch(ChatPane::tr("Show &Timestamps"), ChatPane::tr("Show the time before each new chat line"),
                 "View/Timestamps", parent, [p](bool on) { p->setTimestamps(on); }),
      MakeSwitch(ChatPane::tr("Timestamps in &Log"), ChatPane::tr("Write the time before each line of the log file"),
                 "View/LogTimestamps", parent, [p](bool on) { p->setLogTimestamps(on); }),
  };
}

}  // namespace tolvik::ui
