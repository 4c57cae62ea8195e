#pragma once
// Chat lines that ask for the operator's attention: a whisper to the bot, a
// page, a channel line that names the bot.
#include <QString>
#include <optional>

namespace tolvik::ui {

enum class AttentionKind { Whisper, Page, Mention };

struct Attention {
  AttentionKind kind;
  QString from;
  QString text;
};

// What a shown chat line asks for, if anything. `ownName` is the bot's name
// on the server (empty before login: nothing counts as naming it). Whispers
// are the "<From: name> text" lines, forwarded or not; channel lines are
// "<name> text" from others whose text holds the bot's name as a whole word,
// in any letter case.
std::optional<Attention> AttentionIn(const QString& line, const QString& ownName);

}  // namespace tolvik::ui
