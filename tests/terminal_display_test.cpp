#include "cli/terminal_display.h"

#include "cli/colour_choice.h"

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
  EXPECT_EQ(WithControlsShown("\xe2\x82\x1b"), "\xe2??");
}

// A status line quoting a server's refusal gets the chat lines' cleaning: a
// clipboard write, a window title and a colour come out inert, a direction
// control goes.
TEST(TerminalDisplayTest, StatusTextIsCleanedAsChatLinesAre) {
  EXPECT_EQ(CleanShownText("Connection failed: HTTP/1.1 403 \x1b]52;c;ZXZpbA==\x07\x1b]0;pwned\x07"
                           "\xe2\x80\xae\x1b[31mred"),
            "Connection failed: HTTP/1.1 403 ?]52;c;ZXZpbA==??]0;pwned??[31mred");
}

TEST(TerminalDisplayTest, ColourKeepsTheTerminalsOwnBackground) {
  const std::string red = Shown(true, "hello", 0x0000FF);  // 0x00BBGGRR
  EXPECT_EQ(red, "\x1b[38;2;255;0;0mhello\x1b[0m\n");
  EXPECT_EQ(red.find("\x1b[48;"), std::string::npos);
  // The pane's plain white is the terminal's own foreground: no escape at all.
  EXPECT_EQ(Shown(true, "hello", 0xFFFFFF), "hello\n");
  EXPECT_EQ(Shown(false, "hello", 0x0000FF), "hello\n");
}

// Text near white or near black takes the terminal's own foreground; the
// bounds are 0xC8 and 0x40 in every channel. Other colours go to the nearest
// the terminal has, never to its black or white.
TEST(TerminalDisplayTest, PaleAndDarkTextKeepTheTerminalsForegroundAtEveryDepth) {
  for (ColourDepth depth : {ColourDepth::Basic16, ColourDepth::Palette256, ColourDepth::TrueColour}) {
    EXPECT_EQ(ForegroundSequence(0xC8C8C8, depth), "");
    EXPECT_NE(ForegroundSequence(0xC7C8C8, depth), "");  // one channel one below
    EXPECT_EQ(ForegroundSequence(0x404040, depth), "");
    EXPECT_NE(ForegroundSequence(0x404041, depth), "");
    EXPECT_EQ(ForegroundSequence(0xE6E6E6, depth), "");  // the starter scheme's other users' text
  }
  EXPECT_EQ(ForegroundSequence(0x0000FF, ColourDepth::None), "");
  EXPECT_EQ(ForegroundSequence(0xC7C7C7, ColourDepth::Basic16), "\x1b[90m");   // grey, not white
  EXPECT_EQ(ForegroundSequence(0x414141, ColourDepth::Basic16), "\x1b[90m");   // grey, not black
  EXPECT_EQ(ForegroundSequence(0x808080, ColourDepth::Palette256), "\x1b[38;5;244m");  // the grey ramp
  EXPECT_EQ(ForegroundSequence(0x80FF80, ColourDepth::Palette256), "\x1b[38;5;120m");  // light green
  EXPECT_EQ(ForegroundSequence(0x66FFFF, ColourDepth::Basic16), "\x1b[93m");    // yellow
  EXPECT_EQ(ForegroundSequence(0x658AFF, ColourDepth::TrueColour), "\x1b[38;2;255;138;101m");
}

TEST(TerminalDisplayTest, DepthComesFromColortermThenTerm) {
  const auto depth = [](const char* term, const char* colorterm) {
    return ChooseColourDepth(ColourMode::Auto, nullptr, term, colorterm, true);
  };
  EXPECT_EQ(depth("xterm", nullptr), ColourDepth::Basic16);
  EXPECT_EQ(depth("xterm", "truecolor"), ColourDepth::TrueColour);
  EXPECT_EQ(depth("xterm", "24bit"), ColourDepth::TrueColour);
  EXPECT_EQ(depth("xterm-256color", nullptr), ColourDepth::Palette256);
  EXPECT_EQ(depth("xterm-256color", "1"), ColourDepth::Palette256);
  EXPECT_EQ(depth("dumb", "truecolor"), ColourDepth::None);
  EXPECT_EQ(ChooseColourDepth(ColourMode::Always, nullptr, "dumb", nullptr, false), ColourDepth::Basic16);
}

}  // namespace
}  // namespace tolvik
