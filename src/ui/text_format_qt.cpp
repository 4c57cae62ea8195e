#include "ui/text_format_qt.h"

#include <QFont>
#include <QFontInfo>
#include <QTextCharFormat>
#include <cmath>
#include <cstring>

#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

constexpr double kTwipsPerPoint = 20.0;
constexpr uint32_t kFixedPitch = 1;
constexpr uint32_t kVariablePitch = 2;
constexpr int kTypeNumberShift = 20;

QString FaceName(const TextFormat& record) {
  return FromWire(std::string_view(record.faceName, strnlen(record.faceName, sizeof record.faceName)));
}

bool Has(const TextFormat& record, uint32_t maskBit, uint32_t effect) {
  return (record.mask & maskBit) && (record.effects & effect);
}

}  // namespace

QColor ColorFromRef(uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

uint32_t ColorRef(const QColor& colour) {
  return static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
         static_cast<uint32_t>(colour.blue()) << 16;
}

QTextCharFormat CharFormatFor(const TextFormat& record) {
  QTextCharFormat f;
  if ((record.mask & kCfmSize) && record.height > 0) f.setFontPointSize(record.height / kTwipsPerPoint);
  if (record.mask & kCfmColor) f.setForeground(ColorFromRef(record.colour));
  if ((record.mask & kCfmFace) && record.faceName[0] != '\0') f.setFontFamilies(QStringList{FaceName(record)});
  if (record.mask & kCfmBold) f.setFontWeight(Has(record, kCfmBold, kCfeBold) ? QFont::Bold : QFont::Normal);
  if (record.mask & kCfmItalic) f.setFontItalic(Has(record, kCfmItalic, kCfeItalic));
  if (record.mask & kCfmUnderline) f.setFontUnderline(Has(record, kCfmUnderline, kCfeUnderline));
  if (record.mask & kCfmStrikeOut) f.setFontStrikeOut(Has(record, kCfmStrikeOut, kCfeStrikeOut));
  return f;
}

bool IsLinkFormat(const TextFormat& record) { return Has(record, kCfmLink, kCfeLink); }

QFont ChooserFont(const TextFormat& record, const QFont& base) {
  QFont font = base;
  if ((record.mask & kCfmFace) && record.faceName[0] != '\0') font.setFamilies(QStringList{FaceName(record)});
  if ((record.mask & kCfmSize) && record.height > 0) font.setPointSizeF(record.height / kTwipsPerPoint);
  font.setWeight(Has(record, kCfmBold, kCfeBold) ? QFont::Bold : QFont::Normal);
  font.setItalic(Has(record, kCfmItalic, kCfeItalic));
  font.setUnderline(Has(record, kCfmUnderline, kCfeUnderline));
  font.setStrikeOut(Has(record, kCfmStrikeOut, kCfeStrikeOut));
  return font;
}

TextFormat RecordFromChoice(const QFont& font, const QColor& colour, const TextFormat& previous,
                            std::optional<TextType> type) {
  TextFormat r = previous;
  r.mask = 0xFFFFFFFFu;
  r.effects = 0;
  if (font.weight() >= QFont::Bold) r.effects |= kCfeBold;
  if (font.italic()) r.effects |= kCfeItalic;
  if (font.underline()) r.effects |= kCfeUnderline;
  if (font.strikeOut()) r.effects |= kCfeStrikeOut;
  const double points = font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
  r.height = static_cast<int32_t>(std::lround(points * 10.0)) * 2;
  r.offset = 0;
  r.colour = ColorRef(colour);
  r.pitchAndFamily = QFontInfo(font).fixedPitch() ? kFixedPitch : kVariablePitch;
  std::memset(r.faceName, 0, sizeof r.faceName);
  const std::string face = ToWire(font.family(), sizeof r.faceName - 1);
  std::memcpy(r.faceName, face.data(), face.size());
  if (!type) {
    r.size = kTextFormatSize;
  } else if (*type == TextType::URLs) {
    r.size = kTextFormat2Size;
    r.effects |= kCfeLink;
  } else {
    r.size = kTextFormatSize;
    r.effects |= static_cast<uint32_t>(static_cast<int>(*type)) << kTypeNumberShift;
  }
  return r;
}

}  // namespace tolvik::ui
