#pragma once
// Converts the font-and-colour records of the text types to Qt formats and
// fonts, and a font chosen in the font chooser back to a record.
#include <QColor>
#include <cstdint>
#include <optional>

#include "display/text_format.h"

class QFont;
class QTextCharFormat;

namespace tolvik::ui {

// 0x00BBGGRR to a colour and back.
QColor ColorFromRef(uint32_t colour);
uint32_t ColorRef(const QColor& colour);

// The character format for a record: only the attributes whose mask bits are
// set (size in twips to points, colour, face name, bold, italic, underline,
// strike-out); everything else comes from the pane. The link effect is not
// applied here: the pane makes link runs clickable itself.
QTextCharFormat CharFormatFor(const TextFormat& record);

// True when the record sets the link effect.
bool IsLinkFormat(const TextFormat& record);

// The font a record shows in the font chooser, starting from `base` for what
// the record leaves unset: face, height (twips / 20 = points), weight 700 when
// bold, italic, underline and strike-out.
QFont ChooserFont(const TextFormat& record, const QFont& base);

// The record for a font and colour confirmed in the chooser: every mask bit
// set, effects from the font, height = point size in tenths x 2, offset 0,
// pitch from the font, face name cut to 31 bytes. `type` is the text type the
// record is stored for; nullopt for a user's highlight record. The nine plain
// types get size 60 and their number in effect bits 20-23; URLs gets size 84
// and the link effect; a highlight record gets size 60. The character set,
// padding and CHARFORMAT2 tail are kept from `previous`.
TextFormat RecordFromChoice(const QFont& font, const QColor& colour, const TextFormat& previous,
                            std::optional<TextType> type);

}  // namespace tolvik::ui
