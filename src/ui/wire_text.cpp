#include "ui/wire_text.h"

#include <QByteArray>

namespace tolvik::ui {

QString FromWire(std::string_view bytes) {
  // fromUtf8 turns every invalid sequence into U+FFFD and keeps the rest.
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string_view CutAtCharBoundary(std::string_view bytes, size_t max_bytes) {
  if (bytes.size() <= max_bytes) return bytes;
  size_t end = max_bytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
  while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
  return bytes.substr(0, end);
}

std::string ToWire(const QString& text, size_t max_bytes) {
  const QByteArray utf8 = text.toUtf8();
  std::string_view all(utf8.constData(), static_cast<size_t>(utf8.size()));
  return std::string(CutAtCharBoundary(all, max_bytes));
}

}  // namespace tolvik::ui
