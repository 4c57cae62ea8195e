#pragma once
// The "Help" window of the configuration pages: a modal read-only text with
// an "OK" button, showing the text the page gives.
#include <string_view>

class QWidget;

namespace tolvik::ui {

// Runs the window on `text` (lines may end in CR LF).
void ShowPageHelp(QWidget* parent, std::string_view text);

}  // namespace tolvik::ui
