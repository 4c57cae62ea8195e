#include "app/sheets/restrictions_page.h"

#include <algorithm>

#include "storage/profile_file.h"

namespace tolvik {
namespace {

PageOutcome CheckPassword(std::string_view label, std::string_view password) {
  if (password.size() > RestrictionsPage::kPasswordLimit)
    return PageOutcome::Refused(std::string(label) + " can have at most " +
                                std::to_string(RestrictionsPage::kPasswordLimit) + " characters.");
  if (password.find_first_of("\t\r\n") != std::string_view::npos)
    return PageOutcome::Refused(std::string(label) + " cannot hold tabs or line ends.");
  auto edge = [](char c) { return c == ' ' || c == '"' || c == '\''; };
  if (!password.empty() && (edge(password.front()) || edge(password.back())))
    return PageOutcome::Refused(std::string(label) + " cannot begin or end with a blank or a quote.");
  return PageOutcome::Done();
}

}  // namespace

const std::array<RestrictionsPage::LoginType, 7> RestrictionsPage::kLoginTypes = {{
    {"Bots", "NumBots"},
    {"StarCraft", "NumSC"},
    {"StarCraft Shareware", "NumSCSware"},
    {"Brood War", "NumBW"},
    {"Diablo", "NumDiablo"},
    {"Diablo Shareware", "NumDiabloSW"},
    {"WarCraft 2 BNE", "NumWC"},
}};

RestrictionsPage::RestrictionsPage(std::string botIni, const BotSettings& current)
    : bot_ini_(std::move(botIni)),
      limits_(current.restrictions),
      channel_password_(current.channelPassword),
      whisper_password_(current.whisperPassword) {}

void RestrictionsPage::ChooseType(int index) {
  if (index < 0 || index >= static_cast<int>(kLoginTypes.size())) {
    type_ = -1;
    return;
  }
  type_ = index;
  for (const RestrictionKey& k : kRestrictionKeys)
    if (std::string_view(k.key) == kLoginTypes[static_cast<size_t>(index)].key)
      max_text_ = std::to_string(limits_.*k.field);
}

void RestrictionsPage::StepMax(int delta) {
  long long v = static_cast<long long>(LeadingNumber(max_text_)) + delta;
  max_text_ = std::to_string(std::clamp<long long>(v, kMinLimit, kMaxLimit));
}

PageOutcome RestrictionsPage::Save() {
  if (type_ < 0) return PageOutcome::Refused("Choose a login type first.");
  int value = 0;
  PageOutcome checked = CheckNumberInRange(max_text_, kMinLimit, kMaxLimit, "Max", value);
  if (!checked) return checked;
  const LoginType& type = kLoginTypes[static_cast<size_t>(type_)];
  if (!ProfileFile::Write("Restrictions", type.key, std::to_string(value), bot_ini_))
    return PageOutcome::Refused(std::string("The limit of ") + type.label + " could not be saved in Bot.ini.");
  max_text_ = std::to_string(value);
  for (const RestrictionKey& k : kRestrictionKeys)
    if (std::string_view(k.key) == type.key) limits_.*k.field = value;
  return PageOutcome::Done();
}

PageOutcome RestrictionsPage::CheckPasswords() const {
  PageOutcome channel = CheckPassword("Channel Password", channel_password_);
  if (!channel) return channel;
  return CheckPassword("Whisper Password", whisper_password_);
}

}  // namespace tolvik
