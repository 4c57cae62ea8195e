#include "ui/toggle_effects.h"

#include <QAction>

#include "ui/chat_pane.h"
#include "ui/status_bar.h"
#include "ui/toggle_actions.h"

namespace tolvik::ui {

void ShowToggleEffects(const ToggleActions& toggles, StatusBar& bar, ChatPane& pane) {
  const auto on = [&toggles](const char* key) { return toggles.action(key)->isChecked(); };
  bar.setEnterLeave(on("ViewEnterLeave"));
  bar.setPage(on("AllowPage"));
  pane.setFollowNewText(on("ViewChatUpdates"));
}

void FollowToggleEffects(ToggleActions& toggles, StatusBar& bar, ChatPane& pane) {
  ShowToggleEffects(toggles, bar, pane);
  QObject::connect(&toggles, &ToggleActions::toggled, &bar, [&bar, &pane](const QString& key, bool on) {
    if (key == QLatin1String("ViewEnterLeave")) bar.setEnterLeave(on);
    if (key == QLatin1String("AllowPage")) bar.setPage(on);
    if (key == QLatin1String("ViewChatUpdates")) pane.setFollowNewText(on);
  });
}

}  // namespace tolvik::ui
