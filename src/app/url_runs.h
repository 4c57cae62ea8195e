#pragma once
// Cuts a chat display line into runs: plain text in the line's own format and
// single words that look like URLs, which are shown in the URL style.
#include <string_view>
#include <vector>

namespace tolvik {

// One piece of a display line. Runs point into the line they were cut from.
struct TextRun {
  std::string_view text;
  bool url = false;

  bool operator==(const TextRun&) const = default;
};

// `word` is one space-separated piece of a line together with its trailing
// space. It is a URL when, ignoring case, it begins with "http:", "https:" or
// "ftp:", or contains ".com", ".net" or ".org" followed by ' ', '/' or '\'.
bool IsUrlWord(std::string_view word);

// Cuts `line` (which ends in the space every display line gets) at each single
// space. Consecutive plain words form one run; each URL word, with its trailing
// space, is a run of its own. A line without URL words is one run. Empty runs
// are left out, so an empty line gives no runs.
std::vector<TextRun> SplitUrlRuns(std::string_view line);

}  // namespace tolvik
