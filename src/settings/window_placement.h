#pragma once
// The main window's saved placement: Bot.ini [Window] Metrics as a 44-byte
// window-placement record (eleven little-endian 32-bit fields) and
// UserListWidth, with the rules that keep a restored window on the screen.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tolvik {

struct PlacementRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;  // exclusive, like bottom
  int32_t bottom = 0;

  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  bool operator==(const PlacementRect&) const = default;
};

struct WindowPlacement {
  static constexpr int32_t kLength = 44;
  static constexpr int32_t kShowNormal = 1;
  static constexpr int32_t kShowMinimized = 2;
  static constexpr int32_t kShowMaximized = 3;

  int32_t length = kLength;
  int32_t flags = 0;
  int32_t showCmd = kShowNormal;
  int32_t minX = -1, minY = -1;
  int32_t maxX = -1, maxY = -1;
  PlacementRect normal;

  bool operator==(const WindowPlacement&) const = default;
};

using PlacementBytes = std::array<uint8_t, WindowPlacement::kLength>;

PlacementBytes EncodePlacement(const WindowPlacement& placement);
// Empty unless the bytes are a record whose length field says 44 and whose
// normal rectangle has a positive width and height.
std::optional<WindowPlacement> DecodePlacement(std::span<const uint8_t> bytes);

struct ScreenSize {
  int32_t width = 0;
  int32_t height = 0;
};

// The screen size the rules work with: 640..1920 by 480..1440.
ScreenSize ClampScreenSize(int32_t width, int32_t height);

// A saved normal rectangle corrected for `screen` (already clamped): no
// wider or higher than the screen; the left edge at most 30 pixels from the
// right of the screen and the right edge at least 60 (the window moves, its
// size kept); the top at most 30 pixels from the bottom, and a top above -5
// moves the window down to 0.
PlacementRect ClampNormalRect(PlacementRect rect, ScreenSize screen);

inline constexpr int32_t kDefaultUserListWidth = 200;
// The stored width, or 200 when it is below 5 or wider than the window.
int32_t UsableUserListWidth(int32_t stored, int32_t windowWidth);

// [Window] Metrics through the private-profile struct form; empty when the
// key is missing or its value is not a valid record.
std::optional<WindowPlacement> LoadWindowPlacement(const std::string& botIni);
bool SaveWindowPlacement(const std::string& botIni, const WindowPlacement& placement);
// [Window] UserListWidth (default 200), not yet checked against the window.
int32_t LoadUserListWidth(const std::string& botIni);
bool SaveUserListWidth(const std::string& botIni, int32_t width);

}  // namespace tolvik
