#include "face/face_wire.h"

#include <simdjson.h>

#include <cstring>

#include "display/utf8_cut.h"

namespace tolvik::face_wire {
namespace {

using nlohmann::json;

// A string member; absent is empty, another type is an error.
bool GetString(const json& object, const char* key, std::string& out, bool required, std::string* error,
               size_t limit = std::string::npos) {
  const auto it = object.find(key);
  if (it == object.end()) {
    if (required) *error = std::string("\"") + key + "\" is missing";
    return !required;
  }
  if (!it->is_string()) {
    *error = std::string("\"") + key + "\" must be a string";
    return false;
  }
  const std::string& value = it->get_ref<const std::string&>();
  if (limit != std::string::npos && value.size() > limit) {
    *error = std::string("\"") + key + "\" is longer than " + std::to_string(limit) + " bytes";
    return false;
  }
  out = value;
  return true;
}

}  // namespace

json FormatJson(const TextFormat& format) {
  const size_t face_len = strnlen(format.faceName, sizeof format.faceName);
  json out = {{"colour", format.colour}, {"mask", format.mask}, {"effects", format.effects}, {"height", format.height}};
  PutText(out, "face", std::string_view(format.faceName, face_len));
  return out;
}

bool FormatFromJson(const json& in, TextFormat& format) {
  if (!in.is_object()) return false;
  const auto number = [&](const char* key, auto& field) {
    const auto it = in.find(key);
    if (it == in.end()) return true;
    if (!it->is_number_integer()) return false;
    field = it->get<std::remove_reference_t<decltype(field)>>();
    return true;
  };
  if (!number("colour", format.colour) || !number("mask", format.mask) || !number("effects", format.effects) ||
      !number("height", format.height))
    return false;
  const auto face = in.find("face");
  if (face != in.end()) {
    if (!face->is_string()) return false;
    std::string bytes = TakeText(in, "face");
    bytes = std::string(Utf8Prefix(bytes, sizeof format.faceName - 1));
    std::memset(format.faceName, 0, sizeof format.faceName);
    std::memcpy(format.faceName, bytes.data(), bytes.size());
  }
  return true;
}

void PutText(json& object, const std::string& key, std::string_view bytes) {
  if (simdjson::validate_utf8(bytes.data(), bytes.size())) {
    object[key] = std::string(bytes);
    return;
  }
  std::string latin1;
  latin1.reserve(bytes.size() * 2);
  for (const unsigned char c : bytes) {
    if (c < 0x80) {
      latin1 += static_cast<char>(c);
    } else {
      latin1 += static_cast<char>(0xC0 | (c >> 6));
      latin1 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  object[key] = std::move(latin1);
  object[key + "_raw"] = true;
}

std::string TakeText(const json& object, const std::string& key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return {};
  const auto raw = object.find(key + "_raw");
  if (raw != object.end() && raw->is_boolean() && raw->get<bool>()) return FromRaw(it->get_ref<const std::string&>());
  return it->get<std::string>();
}

std::string FromRaw(std::string_view utf8) {
  std::string bytes;
  bytes.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    // U+0080-U+00FF are two bytes, C2 or C3 and one more; anything else is kept as it came.
    if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
      ++i;
    } else {
      bytes += static_cast<char>(c);
    }
  }
  return bytes;
}

std::string Dump(const json& message) { return message.dump(-1, ' ', false, json::error_handler_t::replace); }

bool DecodeFaceAction(std::string_view message, FaceAction& action, std::string* error) {
  action = FaceAction{};
  const json in = json::parse(message.begin(), message.end(), nullptr, false);
  if (in.is_discarded()) {
    *error = "not JSON";
    return false;
  }
  if (!in.is_object()) {
    *error = "not a JSON object";
    return false;
  }
  std::string kind;
  if (!GetString(in, "t", kind, true, error)) return false;
  const auto text = [&](const char* key, std::string& out) {
    if (!GetString(in, key, out, true, error)) return false;
    out = std::string(Utf8Prefix(out, kMaxText));
    return true;
  };
  if (kind == "hello") {
    action.kind = FaceAction::Kind::Hello;
    const auto version = in.find("version");
    if (version == in.end() || !version->is_number_integer()) {
      *error = "\"version\" must be a number";
      return false;
    }
    action.version = version->get<int>();
    if (!GetString(in, "client", action.client, false, error, 200)) return false;
    if (in.contains("password")) {
      std::string password;
      if (!GetString(in, "password", password, true, error, 1024)) return false;
      action.password = std::move(password);
    }
    return true;
  }
  if (kind == "say") {
    action.kind = FaceAction::Kind::Say;
    return text("text", action.text);
  }
  if (kind == "whisper") {
    action.kind = FaceAction::Kind::Whisper;
    return GetString(in, "names", action.names, true, error, 1024) && text("text", action.text);
  }
  if (kind == "user_whisper") {
    action.kind = FaceAction::Kind::UserWhisper;
    return GetString(in, "name", action.name, true, error, 200) && text("text", action.text);
  }
  if (kind == "user") {
    action.kind = FaceAction::Kind::User;
    if (!GetString(in, "command", action.command, true, error, 64) ||
        !GetString(in, "name", action.name, true, error, 200) ||
        !GetString(in, "known", action.known, false, error, 200))
      return false;
    if (in.contains("format")) {
      TextFormat format = DefaultTextFormat();
      if (!FormatFromJson(in["format"], format)) {
        *error = "\"format\" is not a text format";
        return false;
      }
      action.format = format;
    }
    return true;
  }
  if (kind == "toggle") {
    action.kind = FaceAction::Kind::Toggle;
    if (!GetString(in, "key", action.key, true, error, 64)) return false;
    const auto on = in.find("on");
    if (on == in.end() || !on->is_boolean()) {
      *error = "\"on\" must be true or false";
      return false;
    }
    action.on = on->get<bool>();
    return true;
  }
  if (kind == "connect" || kind == "disconnect") {
    action.kind = kind == "connect" ? FaceAction::Kind::Connect : FaceAction::Kind::Disconnect;
    return true;
  }
  if (kind == "command") {
    action.kind = FaceAction::Kind::Command;
    return GetString(in, "line", action.line, true, error, kMaxCommandLine);
  }
  *error = "unknown message \"" + std::string(Utf8Prefix(kind, 40)) + "\"";
  return false;
}

}  // namespace tolvik::face_wire
