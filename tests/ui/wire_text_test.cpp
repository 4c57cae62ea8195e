#include "ui/wire_text.h"

#include <gtest/gtest.h>

namespace tolvik::ui {
namespace {

TEST(WireText, InvalidBytesShowAsReplacementAndKeepTheLine) {
  const QString shown = FromWire(std::string_view("ab\xff" "cd", 5));
  EXPECT_EQ(shown, QString::fromUtf8("ab\xEF\xBF\xBD" "cd"));
}

TEST(WireText, OutgoingTextIsCutAtACharacterBoundary) {
  // "é" is two bytes: a cut at 2 must not keep half of it.
  EXPECT_EQ(ToWire(QString::fromUtf8("a\xC3\xA9z"), 2), "a");
  EXPECT_EQ(ToWire(QString::fromUtf8("a\xC3\xA9z"), 3), "a\xC3\xA9");
  // A four-byte character is kept whole or dropped whole.
  EXPECT_EQ(ToWire(QString::fromUtf8("\xF0\x9F\x98\x80"), 3), "");
  EXPECT_EQ(ToWire(QStringLiteral("plain")), "plain");
}

}  // namespace
}  // namespace tolvik::ui
