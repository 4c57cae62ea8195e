#pragma once
// What a working directory starts with: the files the document creates when
// they are missing, so every page and command finds its file on the first
// run. An existing file is never touched.
#include <string>
#include <string_view>

#include "display/text_format.h"

namespace tolvik {

// users.lst with an empty section for every level from 1 to 9, written the
// way the list's own rewrite writes it, so names can be added at any level.
std::string StarterUsersList();

// A colour scheme that reads well on the black chat pane: talk, own text,
// whispers, emotes, server and bot notices, links and highlights each in a
// colour of their own (10 point, faces left to the pane).
TextFormats StarterTextFormats();

// A new Bot.ini: the starter colour scheme in [Fonts], a [Commands] level
// for every command, so a new bot obeys only the users its owner lists, and
// daily logs on in [Logging].
std::string StarterBotIni();

// The level StarterBotIni() gives a [Commands] key; -1 for a key it leaves out.
int StarterCommandLevel(std::string_view key);

// Creates `path` with `bytes` and `mode` when no file of that name exists;
// false when one does or it cannot be created. A file whose bytes could not
// all be written is left empty, which reads exactly like a missing one.
bool CreateFileIfMissing(const std::string& path, std::string_view bytes, unsigned mode);

}  // namespace tolvik
