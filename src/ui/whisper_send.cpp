#include "ui/whisper_send.h"

#include "app/chat_bar.h"

namespace tolvik::ui {

WhisperSend WhisperSend::Through(ChatBar& bar) {
  return {[&bar](std::string_view names, std::string_view message) { bar.sendWhisperBar(names, message); },
          [&bar](std::string_view name, std::string_view text) { bar.sendUserWhisper(name, text); }};
}

}  // namespace tolvik::ui
