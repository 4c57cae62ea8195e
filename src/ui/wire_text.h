#pragma once
// The core works in bytes and the wire carries UTF-8; these convert at the
// widget boundary. Invalid bytes are shown as replacement characters (the
// line is never dropped), and outgoing text is never cut inside a character.
#include <QString>
#include <string>
#include <string_view>

namespace tolvik::ui {

// Bytes from the server or a file, for display.
QString FromWire(std::string_view bytes);

// Text from a widget, as UTF-8 of at most `max_bytes` bytes, cut at a
// character boundary.
std::string ToWire(const QString& text, size_t max_bytes = std::string::npos);

}  // namespace tolvik::ui
