#include "settings/window_placement.h"

#include <algorithm>

#include "storage/private_profile.h"

namespace tolvik {
namespace {

constexpr char kSection[] = "Window";

void Put(uint8_t* out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t Get(const uint8_t* in) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(in[i]) << (8 * i);
  return static_cast<int32_t>(v);
}

// The fields in record order.
std::array<int32_t*, 11> Fields(WindowPlacement& p) {
  return {&p.length, &p.flags,       &p.showCmd,  &p.minX,         &p.minY,          &p.maxX,
          &p.maxY,   &p.normal.left, &p.normal.top, &p.normal.right, &p.normal.bottom};
}

}  // namespace

PlacementBytes EncodePlacement(const WindowPlacement& placement) {
  WindowPlacement copy = placement;
  PlacementBytes bytes{};
  size_t at = 0;
  for (int32_t* field : Fields(copy)) {
    Put(bytes.data() + at, *field);
    at += 4;
  }
  return bytes;
}

std::optional<WindowPlacement> DecodePlacement(std::span<const uint8_t> bytes) {
  if (bytes.size() != static_cast<size_t>(WindowPlacement::kLength)) return std::nullopt;
  WindowPlacement p;
  size_t at = 0;
  for (int32_t* field : Fields(p)) {
    *field = Get(bytes.data() + at);
    at += 4;
  }
  if (p.length != WindowPlacement::kLength || p.normal.width() <= 0 || p.normal.height() <= 0)
    return std::nullopt;
  return p;
}

ScreenSize ClampScreenSize(int32_t width, int32_t height) {
  return {std::clamp(width, 640, 1920), std::clamp(height, 480, 1440)};
}

PlacementRect ClampNormalRect(PlacementRect r, ScreenSize screen) {
  auto move_x = [&r](int32_t left) {
    r.right += left - r.left;
    r.left = left;
  };
  auto move_y = [&r](int32_t top) {
    r.bottom += top - r.top;
    r.top = top;
  };
  if (r.width() > screen.width) r.right = r.left + screen.width;
  if (r.height() > screen.height) r.bottom = r.top + screen.height;
  if (r.left > screen.width - 30) move_x(screen.width - 30);
  if (r.right < 60) move_x(60 - r.width());
  if (r.top > screen.height - 30) move_y(screen.height - 30);
  if (r.top < -5) move_y(0);
  return r;
}

int32_t UsableUserListWidth(int32_t stored, int32_t windowWidth) {
  return stored < 5 || stored > windowWidth ? kDefaultUserListWidth : stored;
}

std::optional<WindowPlacement> LoadWindowPlacement(const std::string& botIni) {
  PlacementBytes bytes{};
  if (!PrivateProfile::ReadStruct(kSection, "Metrics", bytes, botIni)) return std::nullopt;
  return DecodePlacement(bytes);
}

bool SaveWindowPlacement(const std::string& botIni, const WindowPlacement& placement) {
  const PlacementBytes bytes = EncodePlacement(placement);
  return PrivateProfile::WriteStruct(kSection, "Metrics", bytes, botIni);
}

int32_t LoadUserListWidth(const std::string& botIni) {
  return PrivateProfile::ReadInt(kSection, "UserListWidth", kDefaultUserListWidth, botIni);
}

bool SaveUserListWidth(const std::string& botIni, int32_t width) {
  return PrivateProfile::WriteString(kSection, "UserListWidth", std::to_string(width), botIni);
}

}  // namespace tolvik
