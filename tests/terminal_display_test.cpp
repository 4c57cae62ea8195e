#include "cli/terminal_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tolvik {
namespace {

std::string Shown(bool colour, const char* text, uint32_t rgb = 0xFFFFFF) {
  FILE* out = std::tmpfile();
  ConsoleOutput console(out, false);
  TerminalDisplay display(console, colour);
  TextFormats formats = DefaultTextFormats();
  formats[TextTypeIndex(TextType::OthersText)].colour = rgb;
  display.setFormats(formats);
  display.print(TextType::OthersText, "%s", text);
  std::string result(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  result.resize(std::fread(result.data(), 1, result.size(), out));
  std::fclose(out);
  return result;
}

TEST(TerminalDisplayTest, ServerControlBytesNeverReachTheTerminal) {
  // An escape sequence in someone's talk would recolour or clear the operator's terminal.
  const std::string coloured = Shown(true, "hi \x1b[2J\x07there\x7f", 0x0000FF);
  EXPECT_NE(coloured.find("hi ?[2J?there?"), std::string::npos);
  EXPECT_EQ(coloured.find("\x1b[2J"), std::string::npos);
  EXPECT_EQ(coloured.back(), '\n');

  EXPECT_EQ(Shown(false, "plain\x1b]0;title\x07"), "plain?]0;title?\n");
}

TEST(TerminalDisplayTest, C1ControlsAsBytesOrAsUtf8AreShownAsQuestionMarks) {
  // CSI as the single byte 0x9B and as U+009B; U+0080 and U+009F are the range's ends.
  EXPECT_EQ(Shown(false, "a\x9b" "2Jb"), "a?2Jb\n");
  EXPECT_EQ(Shown(false, "a\xc2\x9b" "2Jb"), "a?2Jb\n");
  EXPECT_EQ(Shown(false, "\xc2\x80|\xc2\x9f|\x80"), "?|?|?\n");
  // Just past the range: U+00A0 and other characters pass whole.
  EXPECT_EQ(Shown(false, "\xc2\xa0|\xc3\xa9|\xe2\x82\xac|\xf0\x9f\x98\x80"),
            "\xc2\xa0|\xc3\xa9|\xe2\x82\xac|\xf0\x9f\x98\x80\n");
  // Latin-1 text (not UTF-8) above the C1 range is kept as it came.
  EXPECT_EQ(Shown(false, "caf\xe9!"), "caf\xe9!\n");
  // A UTF-8 lead byte cut short does not swallow a control after it.
  EXPECT_EQ(TerminalSafeText("\xe2\x82\x1b"), "\xe2??");
}

TEST(TerminalDisplayTest, ColourKeepsTheTerminalsOwnBackground) {
  const std::string red = Shown(true, "hello", 0x0000FF);  // 0x00BBGGRR
  EXPECT_EQ(red, "\x1b[38;2;255;0;0mhello\x1b[0m\n");
  EXPECT_EQ(red.find("\x1b[48;"), std::string::npos);
  // The pane's plain white is the terminal's own foreground: no escape at all.
  EXPECT_EQ(Shown(true, "hello", 0xFFFFFF), "hello\n");
  EXPECT_EQ(Shown(false, "hello", 0x0000FF), "hello\n");
}

}  // namespace
}  // namespace tolvik
