#pragma once
// The rows of the "Moderation Record" window: the record read from the
// profile, newest first, narrowed by a user (a part of the target's or the
// actor's name, ignoring case) and by an action.
#include <string>
#include <string_view>
#include <vector>

#include "bot/moderation_record.h"

namespace tolvik {

class ModerationRecordView {
 public:
  // The action choices: "" stands for all of them.
  static const std::vector<std::string>& Actions();

  explicit ModerationRecordView(std::string dir) : dir_(std::move(dir)) {}

  // Reads the record again (all kept files).
  void Reload();
  void SetUser(std::string_view part);
  void SetAction(std::string_view action);

  const std::vector<ModerationEntry>& rows() const { return rows_; }
  size_t total() const { return all_.size(); }

 private:
  void Filter();
  std::string dir_;
  std::string user_;
  std::string action_;
  std::vector<ModerationEntry> all_;
  std::vector<ModerationEntry> rows_;
};

}  // namespace tolvik
