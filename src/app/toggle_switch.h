#pragma once
// Switching one of the ten toggles while the program runs, the same way from
// every front-end: the state flips, and a remembered toggle writes its new
// value to Bot.ini [Toggles] (ViewEnterLeave first shows a notice).
#include <string_view>

#include "settings/config.h"

namespace tolvik {

class CHaldenDoc;

// The toggle of a [Toggles] key, compared without regard to case; nullptr when unknown.
const ToggleKey* FindToggleKey(std::string_view name);

// Sets the toggle to `on`. A write failure is shown in the chat display; the
// new state holds until exit either way.
void SwitchToggle(CHaldenDoc& doc, const ToggleKey& key, bool on);

}  // namespace tolvik
