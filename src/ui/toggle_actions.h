#pragma once
// The ten switches as checkable actions, one per key of Bot.ini [Toggles]:
// the menu items, the pressed toolbar buttons and Alt+V / Alt+P share them.
// A switch flips the document's toggle and, when the toggle is remembered,
// writes its new value to Bot.ini.
#include <QObject>
#include <array>
#include <functional>
#include <string_view>

#include "settings/config.h"

class QAction;

namespace tolvik {
class CHaldenDoc;
}

namespace tolvik::ui {

class ToggleActions : public QObject {
  Q_OBJECT

 public:
  ToggleActions(CHaldenDoc& doc, QObject* parent);
  // Switches that `flip` carries out elsewhere (a window attached to a bot);
  // their check marks start off and follow setChecked().
  using Flip = std::function<void(const ToggleKey& key, bool on)>;
  ToggleActions(Flip flipper, QObject* parent);

  // The action of a [Toggles] key (exact spelling), or nullptr.
  QAction* action(std::string_view key) const;

  // The check marks as the document's toggles are now, for switches flipped
  // elsewhere (a face attached to the bot, the configuration sheet);
  // `toggled` follows each mark changed. Nothing for switches carried out
  // elsewhere.
  void refresh();

 signals:
  // After the switch of `key` flipped (and was written when remembered).
  void toggled(const QString& key, bool on);

 private:
  void flip(const ToggleKey& key, bool on);

  Flip flip_;
  CHaldenDoc* doc_ = nullptr;
  std::array<QAction*, kToggleKeys.size()> actions_{};
};

}  // namespace tolvik::ui
