#pragma once
// Somewhere every shown chat line is also written (the daily logs). The
// display feeds it; the session decides what it is.
#include <string>
#include <string_view>

namespace tolvik {

class LineLog {
 public:
  virtual ~LineLog() = default;
  // Records one shown line.
  virtual void Write(std::string_view line) = 0;
  // What went wrong since the last call, said once in the chat; empty when nothing did.
  virtual std::string TakeProblem() = 0;
};

}  // namespace tolvik
