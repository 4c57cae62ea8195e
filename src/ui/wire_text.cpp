#include "ui/wire_text.h"

#include <QByteArray>

#include "display/utf8_cut.h"

namespace tolvik::ui {

QString FromWire(std::string_view bytes) {
  // fromUtf8 turns every invalid sequence into U+FFFD and keeps the rest.
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToWire(const QString& text, size_t max_bytes) {
  const QByteArray utf8 = text.toUtf8();
  std::string_view all(utf8.constData(), static_cast<size_t>(utf8.size()));
  return std::string(Utf8Prefix(all, max_bytes));
}

}  // namespace tolvik::ui
