#pragma once
// The "Restrictions" page of the "Response Configurator": the limit of each
// login type in [Restrictions], and the channel and whisper passwords, which
// are written when the sheet is confirmed (see response_sheet.h).
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "settings/config.h"
#include "app/sheets/page_values.h"

namespace tolvik {

class RestrictionsPage {
 public:
  struct LoginType {
    const char* label;
    const char* key;
  };
  // The "Login Type:" list, in its order.
  static const std::array<LoginType, 7> kLoginTypes;

  static constexpr int kMinLimit = -1;  // -1: no limit
  static constexpr int kMaxLimit = 99;
  static constexpr size_t kPasswordLimit = kSecurityLimit;

  static constexpr std::string_view kHelpText =
      "This tab allows you to restrict the number of any type of login in the channel.  Choose a login type, "
      "set Max to the number allowed (-1 for no limit) and press Save.  A channel password puts the channel in "
      "private mode: a user who whispers it to the bot is let in.  The passwords are saved when this window is "
      "closed with OK.";

  // `botIni` is written; `current` gives the limits and passwords shown.
  RestrictionsPage(std::string botIni, const BotSettings& current);

  int selectedType() const { return type_; }
  // Shows the bot's current limit of the type.
  void ChooseType(int index);
  const std::string& maxText() const { return max_text_; }
  void SetMaxText(std::string_view text) { max_text_ = std::string(text); }
  // The spin: moves by `delta`, staying within -1..99.
  void StepMax(int delta);
  // "Save": writes the limit under the type's key. Refused, with nothing
  // written, without a type or for a number outside -1..99.
  PageOutcome Save();

  const std::string& channelPassword() const { return channel_password_; }
  const std::string& whisperPassword() const { return whisper_password_; }
  void SetChannelPassword(std::string_view text) { channel_password_ = std::string(text); }
  void SetWhisperPassword(std::string_view text) { whisper_password_ = std::string(text); }
  // Whether both passwords can be stored and read back unchanged: at most
  // 29 characters, no tab or line end, no blanks or quotes at either end.
  PageOutcome CheckPasswords() const;

 private:
  std::string bot_ini_;
  Restrictions limits_;
  int type_ = -1;
  std::string max_text_ = "-1";
  std::string channel_password_;
  std::string whisper_password_;
};

}  // namespace tolvik
