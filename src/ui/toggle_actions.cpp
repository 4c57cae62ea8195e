#include "ui/toggle_actions.h"

#include <QAction>
#include <QKeySequence>
#include <cstring>
#include <optional>

#include "app/document.h"
#include "app/toggle_switch.h"
#include "ui/icons.h"

namespace tolvik::ui {
namespace {

struct ToggleLook {
  const char* key;
  const char* menu_text;
  const char* tool_tip;  // nullptr: menu only
  const char* status_tip;
  std::optional<ToolIcon> icon;
  QKeyCombination shortcut;
};

// In the order of kToggleKeys.
const ToggleLook kLooks[] = {
    {"ViewChatUpdates", "Show Chat &Updates", "Enable/Disable Chat Updates",
     "Keep the chat display at the newest line", ToolIcon::ChatUpdates, {}},
    {"AutoRespond", "Enable Auto-Responder", "Enable/Disable Auto-Responder",
     "Let the bot greet, answer and run its scripts", ToolIcon::AutoRespond, {}},
    {"AutoViewAliases", "Show Aliases on Join", "Show Aliases on Join",
     "Show the known aliases of each user who joins", ToolIcon::ShowAliases, {}},
    {"IdLogging", "Enable Account Logging", "Log Aliases",
     "Record the accounts of joining users in the alias database", ToolIcon::LogAliases, {}},
    {"HighlightUsers", "Highlight Text from Selected Users", "Highlight Selected Users",
     "Show talk of selected and highlighted users in their highlight colours", ToolIcon::Highlight, {}},
    {"ViewPings", "Show Battle.net Ping Requests", "Show B.Net Ping Requests",
     "Show the server's ping requests", ToolIcon::Pings, {}},
    {"ViewText", "Show Battle.net Non-Message Text", nullptr,
     "Show server text that is not a chat event", std::nullopt, {}},
    {"ViewEnterLeave", "Show Enter/Lea&ve Notifications\tAlt+V", "Enable/Disable Enter/Leave Notifications",
     "Announce users entering and leaving the channel", ToolIcon::EnterLeave, Qt::ALT | Qt::Key_V},
    {"AllowPage", "Enable Operator Page\tAlt+P", "Enable/Disable Operator Page",
     "Let users page the operator with the page command", ToolIcon::OperatorPage, Qt::ALT | Qt::Key_P},
    {"AutoSave", "Save Windows Positions on Exit", nullptr,
     "Save the window's position and the user list's width when the program ends", std::nullopt, {}},
};
static_assert(std::size(kLooks) == kToggleKeys.size());

}  // namespace

ToggleActions::ToggleActions(CHaldenDoc& doc, QObject* parent)
    : ToggleActions([&doc](const ToggleKey& key, bool on) { SwitchToggle(doc, key, on); }, parent) {
  doc_ = &doc;
  for (size_t i = 0; i < kToggleKeys.size(); ++i)
    actions_[i]->setChecked((doc.GetToggles().*kToggleKeys[i].field).state);
}

ToggleActions::ToggleActions(Flip flipper, QObject* parent) : QObject(parent), flip_(std::move(flipper)) {
  for (size_t i = 0; i < kToggleKeys.size(); ++i) {
    const ToggleKey& key = kToggleKeys[i];
    const ToggleLook& look = kLooks[i];
    Q_ASSERT(std::strcmp(key.key, look.key) == 0);
    auto* action = new QAction(QString::fromLatin1(look.menu_text), this);
    action->setObjectName(QString::fromLatin1(key.key));
    action->setCheckable(true);
    action->setStatusTip(QString::fromLatin1(look.status_tip));
    if (look.tool_tip) action->setToolTip(QString::fromLatin1(look.tool_tip));
    if (look.icon) action->setIcon(DrawToolIcon(*look.icon));
    action->setIconVisibleInMenu(false);  // menus show the check mark, the toolbar the pressed button
    if (look.shortcut != QKeyCombination()) action->setShortcut(QKeySequence(look.shortcut));
    connect(action, &QAction::triggered, this, [this, &key](bool on) { flip(key, on); });
    actions_[i] = action;
  }
}

QAction* ToggleActions::action(std::string_view key) const {
  for (size_t i = 0; i < kToggleKeys.size(); ++i)
    if (key == kToggleKeys[i].key) return actions_[i];
  return nullptr;
}

void ToggleActions::refresh() {
  if (doc_ == nullptr) return;
  for (size_t i = 0; i < kToggleKeys.size(); ++i) {
    const bool on = (doc_->GetToggles().*kToggleKeys[i].field).state;
    if (actions_[i]->isChecked() == on) continue;
    actions_[i]->setChecked(on);
    emit toggled(QString::fromLatin1(kToggleKeys[i].key), on);
  }
}

void ToggleActions::flip(const ToggleKey& key, bool on) {
  flip_(key, on);
  emit toggled(QString::fromLatin1(key.key), on);
}

}  // namespace tolvik::ui
