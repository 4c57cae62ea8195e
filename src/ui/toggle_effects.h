#pragma once
// What three switches show besides their check marks: the status bar's
// enter/leave and page panes (ViewEnterLeave, AllowPage), and whether the
// chat keeps to its newest line (ViewChatUpdates).
namespace tolvik::ui {

class ChatPane;
class StatusBar;
class ToggleActions;

// As the switches are checked now.
void ShowToggleEffects(const ToggleActions& toggles, StatusBar& bar, ChatPane& pane);
// Now, and after each flip of a switch.
void FollowToggleEffects(ToggleActions& toggles, StatusBar& bar, ChatPane& pane);

}  // namespace tolvik::ui
