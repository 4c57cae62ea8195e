#pragma once
// Cuts a chat display line into runs: plain text in the line's own format and
// single words that look like URLs, which are shown in the URL style.
#include <string>
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

// What clicking a link opens, as address text, or "" when it must not be
// opened. Link texts come from other users, so:
// - only http, https, ftp and mailto links open (scheme in any case);
// - a word without a scheme is a mail address ("MailTo:" put in front) when
//   it holds an '@' with no '?' or '/' before it, otherwise a web address
//   ("http://" put in front) whose host part must be non-empty and free of
//   '@';
// - a mail link opens without its query or fragment (an "?attach=" must not
//   reach the mail program), and only with a plain address;
// - direction controls and surrounding blanks are dropped first.
std::string LinkTarget(std::string_view linkText);

}  // namespace tolvik
