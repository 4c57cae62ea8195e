#pragma once
// The user list of a window attached to a bot: a UserList of the window's
// own, filled from the bot's rows as the face heard them, so the list's
// model, view, selection and menu work as they do on the window's own bot.
namespace tolvik {
class FaceMirror;
class UserList;
}  // namespace tolvik

namespace tolvik::ui {

// Makes `users` hold the mirror's rows in the mirror's order, with their
// levels, idle marks and caption. Selected names stay selected. One row
// joined, left or changed is followed row by row; anything else is one
// reset for the list's observer.
void MirrorUsers(const FaceMirror& mirror, UserList& users);

}  // namespace tolvik::ui
