#include "app/toggle_switch.h"

#include "display/chat_display.h"
#include "app/document.h"
#include "storage/ini_text.h"

namespace tolvik {

const ToggleKey* FindToggleKey(std::string_view name) {
  for (const ToggleKey& key : kToggleKeys)
    if (ini::EqualsIgnoreCase(name, key.key)) return &key;
  return nullptr;
}

void SwitchToggle(CHaldenDoc& doc, const ToggleKey& key, bool on) {
  Toggle& toggle = doc.GetToggles().*key.field;
  toggle.state = on;
  if (!toggle.save) return;  // the change lasts until the program ends
  const std::string_view name = key.key;
  if (name == "ViewEnterLeave")
    doc.Display().print(TextType::Joins, "Enter/Leave Notifications %s", on ? "On" : "Off");
  if (!WriteToggle(doc.Paths().botIni, name, RememberedToggleValue(name, on)))
    doc.Display().print(TextType::BotInfo, "Could not write [Toggles] %s to %s; the change holds until exit",
                        key.key, doc.Paths().botIni.c_str());
}

}  // namespace tolvik
