#pragma once
// The face protocol's messages as JSON: what both ends share (formats,
// users, chat text that may not be UTF-8), and the decoder of what a face
// sends the bot, which never trusts its input.
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

#include "display/text_format.h"

namespace tolvik::face_wire {

inline constexpr int kVersion = 1;
// The longest `command` line a face may send.
inline constexpr size_t kMaxCommandLine = 512;
// The longest text of a say or whisper kept (the chat bar's field).
inline constexpr size_t kMaxText = 254;

nlohmann::json FormatJson(const TextFormat& format);
// Missing members keep what `format` held; false when a member has the wrong type.
bool FormatFromJson(const nlohmann::json& json, TextFormat& format);

// Puts `bytes` into `object[key]`; text that is not UTF-8 is carried byte
// for byte as U+0000-U+00FF, and `object[key + "_raw"]` says so.
void PutText(nlohmann::json& object, const std::string& key, std::string_view bytes);
// The bytes of a text put there by PutText ("" when missing or not a string).
std::string TakeText(const nlohmann::json& object, const std::string& key);
// The bytes of text carried as U+0000-U+00FF.
std::string FromRaw(std::string_view utf8);

// Serialises a message (never throws).
std::string Dump(const nlohmann::json& message);

// One message from a face.
struct FaceAction {
  enum class Kind { Hello, Say, Whisper, UserWhisper, User, Toggle, Connect, Disconnect, Command };
  Kind kind = Kind::Hello;
  int version = 0;
  std::optional<std::string> password;
  std::string client;
  std::string text;
  std::string names;
  std::string name;
  std::string command;
  std::string known;
  std::string key;
  std::string line;
  bool on = false;
  std::optional<TextFormat> format;
};

// Reads one message from a face. False, with `error` set to what the face
// is told, when it is not a message of the protocol.
bool DecodeFaceAction(std::string_view message, FaceAction& action, std::string* error);

}  // namespace tolvik::face_wire
