#pragma once
// A fresh temporary directory per test, removed with everything in it afterwards.
#include <filesystem>
#include <string>

namespace tolvik::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Full path of a file inside the directory.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes bytes exactly as given (no line-end translation).
  void write(const std::string& name, const std::string& bytes) const;
  // Reads a file whole; empty when it does not exist.
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace tolvik::testing
