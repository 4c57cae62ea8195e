#include "ui/attention.h"

namespace tolvik::ui {
namespace {

bool IsNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'[' || c == u']'; }

// `name` stands alone in `text`: not part of a longer name.
bool NamesWord(const QString& text, const QString& name) {
  for (qsizetype at = text.indexOf(name, 0, Qt::CaseInsensitive); at >= 0;
       at = text.indexOf(name, at + 1, Qt::CaseInsensitive)) {
    const qsizetype end = at + name.size();
    const bool startsWord = at == 0 || !IsNameChar(text[at - 1]);
    const bool endsWord = end >= text.size() || !IsNameChar(text[end]);
    if (startsWord && endsWord) return true;
  }
  return false;
}

}  // namespace

std::optional<Attention> AttentionIn(const QString& line, const QString& ownName) {
  static const QString kFrom = QStringLiteral("<From: ");
  if (line.startsWith(kFrom)) {
    const qsizetype close = line.indexOf(QStringLiteral("> "), kFrom.size());
    if (close < 0) return std::nullopt;
    QString text = line.mid(close + 2).trimmed();
    if (text.endsWith(QStringLiteral(" (forwarded)"))) text.chop(12);
    return Attention{AttentionKind::Whisper, line.mid(kFrom.size(), close - kFrom.size()), text};
  }
  if (ownName.isEmpty() || !line.startsWith(u'<')) return std::nullopt;
  const qsizetype close = line.indexOf(QStringLiteral("> "));
  if (close < 2) return std::nullopt;
  const QString from = line.mid(1, close - 1);
  // Own lines, own whispers ("<To: name>") and names with spaces are not talk.
  if (from.contains(u' ') || from.compare(ownName, Qt::CaseInsensitive) == 0) return std::nullopt;
  const QString text = line.mid(close + 2).trimmed();
  if (!NamesWord(text, ownName)) return std::nullopt;
  return Attention{AttentionKind::Mention, from, text};
}

}  // namespace tolvik::ui
