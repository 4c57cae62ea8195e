#include "app/moderation_record_view.h"

#include "bot/read_word.h"

namespace tolvik {

const std::vector<std::string>& ModerationRecordView::Actions() {
  static const std::vector<std::string> actions = {"", "warn", "kick", "ban", "tempban", "unban"};
  return actions;
}

void ModerationRecordView::Reload() {
  all_ = ReadModerationRecord(dir_);
  Filter();
}

void ModerationRecordView::SetUser(std::string_view part) {
  user_ = LowerAscii(part);
  Filter();
}

void ModerationRecordView::SetAction(std::string_view action) {
  action_ = std::string(action);
  Filter();
}

void ModerationRecordView::Filter() {
  rows_.clear();
  for (auto it = all_.rbegin(); it != all_.rend(); ++it) {
    if (!action_.empty() && it->action != action_) continue;
    if (!user_.empty() && LowerAscii(it->target).find(user_) == std::string::npos &&
        LowerAscii(it->actor).find(user_) == std::string::npos)
      continue;
    rows_.push_back(*it);
  }
}

}  // namespace tolvik
