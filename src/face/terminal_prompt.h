#pragma once
// Questions on the terminal for the face password and for a bot's
// certificate, read straight from a descriptor (no stdio buffering, so the
// rest of the input is left for whoever reads next).
#include <cstdio>
#include <string>

namespace tolvik {

// One line from `fd` without its line end; at most `limit` bytes are kept
// (a longer line makes the result false). False at end of input before
// any byte, or on a read error.
bool ReadInputLine(int fd, std::string* line, size_t limit);

// Writes `prompt` to `out` and reads a line with the terminal's echo off
// (it is turned back on afterwards, also when the read fails).
bool ReadSecretLine(int fd, FILE* out, const char* prompt, std::string* secret, size_t limit);

// The new face password for --set-face-password: from a terminal asked
// twice without echo (the two must match); otherwise the first line of the
// input. False with the reason in `error`.
bool ReadNewFacePassword(int fd, FILE* out, std::string* password, std::string* error);

// Asks `question` until the answer is "yes" or "no"; end of input is no.
bool AskYesNo(int fd, FILE* out, const std::string& question);

// The face password, from the first line of `path` (for --face-password-file).
bool ReadFacePasswordFile(const std::string& path, std::string* password, std::string* error);

}  // namespace tolvik
