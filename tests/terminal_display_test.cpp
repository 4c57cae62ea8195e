#include "cli/terminal_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tolvik {
namespace {

std::string Shown(bool colour, const char* text) {
  FILE* out = std::tmpfile();
  TerminalDisplay display(out, colour);
  display.print(TextType::OthersText, "%s", text);
  std::string result(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  result.resize(std::fread(result.data(), 1, result.size(), out));
  std::fclose(out);
  return result;
}

TEST(TerminalDisplayTest, ServerControlBytesNeverReachTheTerminal) {
  // An escape sequence in someone's talk would recolour or clear the operator's terminal.
  const std::string coloured = Shown(true, "hi \x1b[2J\x07there\x7f");
  EXPECT_NE(coloured.find("hi ?[2J?there?"), std::string::npos);
  EXPECT_EQ(coloured.find("\x1b[2J"), std::string::npos);
  EXPECT_EQ(coloured.rfind("\x1b[38;2;", 0), std::string::npos);  // starts with the background
  EXPECT_EQ(coloured.back(), '\n');

  EXPECT_EQ(Shown(false, "plain\x1b]0;title\x07"), "plain?]0;title?\n");
}

}  // namespace
}  // namespace tolvik
