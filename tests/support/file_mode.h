#pragma once
// A file's permission bits, for tests that check what the program made
// private. A missing file is a test failure and reads as 0.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

namespace tolvik::testing {

inline unsigned ModeOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    ADD_FAILURE() << "no file " << path;
    return 0;
  }
  return st.st_mode & 07777;
}

}  // namespace tolvik::testing
