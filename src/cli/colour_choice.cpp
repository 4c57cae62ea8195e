#include "cli/colour_choice.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace tolvik {
namespace {

struct Rgb {
  int r, g, b;
};

int Distance(Rgb a, Rgb b) {
  // Weighted toward green, where the eye tells shades apart best.
  const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  return 2 * dr * dr + 4 * dg * dg + 3 * db * db;
}

// Light grey to white, or near black: left to the terminal's own foreground.
bool NearWhiteOrBlack(Rgb c) {
  const bool white = c.r >= 0xC8 && c.g >= 0xC8 && c.b >= 0xC8;
  const bool black = c.r <= 0x40 && c.g <= 0x40 && c.b <= 0x40;
  return white || black;
}

// xterm's values of the 16 colours; 0 (black), 7 and 15 (whites) are never
// chosen, as a light or a dark background hides them.
constexpr Rgb kBasic[16] = {{0, 0, 0},       {205, 0, 0},     {0, 205, 0},     {205, 205, 0},
                            {0, 0, 238},     {205, 0, 205},   {0, 205, 205},   {229, 229, 229},
                            {127, 127, 127}, {255, 0, 0},     {0, 255, 0},     {255, 255, 0},
                            {92, 92, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

int NearestBasic(Rgb c) {
  int best = 1;
  int best_distance = std::numeric_limits<int>::max();
  for (int i = 1; i < 15; ++i) {
    if (i == 7) continue;
    const int d = Distance(c, kBasic[i]);
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return best;
}

// The 6x6x6 cube (16-231) and the grey ramp (232-255) of the 256-colour
// palette; its first 16 follow the terminal's theme and are not used.
constexpr int kCubeLevels[6] = {0, 95, 135, 175, 215, 255};

Rgb Palette256(int index) {
  if (index >= 232) {
    const int v = 8 + 10 * (index - 232);
    return {v, v, v};
  }
  const int i = index - 16;
  return {kCubeLevels[i / 36], kCubeLevels[(i / 6) % 6], kCubeLevels[i % 6]};
}

int Nearest256(Rgb c) {
  int best = 16;
  int best_distance = std::numeric_limits<int>::max();
  for (int i = 16; i < 256; ++i) {
    const int d = Distance(c, Palette256(i));
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return best;
}

}  // namespace

bool WantColour(ColourMode mode, const char* no_colour, const char* term, bool output_is_terminal) {
  if (mode == ColourMode::Always) return true;
  if (mode == ColourMode::Never) return false;
  if (no_colour != nullptr) return false;
  if (term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0) return false;
  return output_is_terminal;
}

ColourDepth ChooseColourDepth(ColourMode mode, const char* no_colour, const char* term, const char* colorterm,
                              bool output_is_terminal) {
  if (!WantColour(mode, no_colour, term, output_is_terminal)) return ColourDepth::None;
  if (colorterm != nullptr && (std::strcmp(colorterm, "truecolor") == 0 || std::strcmp(colorterm, "24bit") == 0))
    return ColourDepth::TrueColour;
  if (term != nullptr && std::strstr(term, "256col") != nullptr) return ColourDepth::Palette256;
  return ColourDepth::Basic16;
}

std::string ForegroundSequence(uint32_t rgb, ColourDepth depth) {
  const Rgb c{static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>((rgb >> 16) & 0xFF)};
  if (depth == ColourDepth::None || NearWhiteOrBlack(c)) return "";
  char sequence[32];
  switch (depth) {
    case ColourDepth::TrueColour:
      std::snprintf(sequence, sizeof sequence, "\x1b[38;2;%d;%d;%dm", c.r, c.g, c.b);
      break;
    case ColourDepth::Palette256:
      std::snprintf(sequence, sizeof sequence, "\x1b[38;5;%dm", Nearest256(c));
      break;
    default: {
      const int i = NearestBasic(c);
      std::snprintf(sequence, sizeof sequence, "\x1b[%dm", i < 8 ? 30 + i : 90 + i - 8);
      break;
    }
  }
  return sequence;
}

}  // namespace tolvik
