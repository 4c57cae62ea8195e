#pragma once
// Where the whisper bars' lines go: the bot's own chat bar, or the link of a
// window attached to a bot that runs elsewhere.
#include <functional>
#include <string_view>

namespace tolvik {
class ChatBar;
}

namespace tolvik::ui {

struct WhisperSend {
  // The "Whisper Bar": `message` to the selected users and to every name of `names`.
  std::function<void(std::string_view names, std::string_view message)> toNames;
  // A user's own bar: `text` to `name`.
  std::function<void(std::string_view name, std::string_view text)> toUser;

  // Both through `bar`, which outlives the bars.
  static WhisperSend Through(ChatBar& bar);
};

}  // namespace tolvik::ui
