// Feeds arbitrary bytes as a Bot.ini to both INI layers and the settings
// loaders: key reads, key lists, section lists, struct values, writes and
// re-reads. Besides the sanitizers it checks a few promises: reads respect
// the buffer size, writes leave no temporary file behind, and a struct value
// written under a plain key reads back unchanged.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <system_error>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/config.h"
#include "storage/ini_text.h"
#include "settings/font_records.h"
#include "storage/private_profile.h"
#include "storage/profile_file.h"
#include "display/text_format.h"

namespace {

using tolvik::PrivateProfile;
using tolvik::ProfileFile;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// A fresh directory per input, on tmpfs when there is one (the writes flush
// to disk and would otherwise dominate the run). libFuzzer may end the process
// without running exit handlers, so nothing is left for later.
class WorkDir {
 public:
  WorkDir() {
    std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string tmpl = (base / "tolvik-fuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    path_ = tmpl;
  }
  ~WorkDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  size_t EntryCount() const {
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(path_); it != std::filesystem::directory_iterator(); ++it) ++n;
    return n;
  }

 private:
  std::filesystem::path path_;
};

void Store(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Has(const std::string& s, std::string_view chars) { return s.find_first_of(chars) != std::string::npos; }

// Inputs the escaped format can carry: a value that begins with "=" or holds a
// tab or line end, a key with ":", or a key that begins with ';' (its line
// reads as a comment) does not come back by design.
bool EscapedRoundTrips(const std::string& section, const std::string& key, const std::string& value) {
  return !Has(section, "\n") && !key.empty() && key[0] != ';' && !Has(key, ":\t\n") && !value.empty() &&
         value[0] != '=' &&
         !Has(value, "\t\n");
}

// Inputs the private-profile rules give back unchanged.
bool PlainRoundTrips(const std::string& section, const std::string& key, const std::string& value) {
  auto trimmed = [](const std::string& s) {
    return s.empty() || (!tolvik::ini::IsSpace(s.front()) && !tolvik::ini::IsSpace(s.back()));
  };
  bool quoted = value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0];
  return trimmed(section) && !Has(section, "]\n") && (section.empty() || section[0] != '[') && trimmed(key) &&
         !key.empty() && !Has(key, "=\n") && key[0] != ';' && key[0] != '[' && trimmed(value) &&
         !Has(value, "\n") && !quoted;
}

void CheckBounded(const std::string& out, size_t bufferSize) { Check(out.size() + 1 <= std::max<size_t>(bufferSize, 1)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(32);
  const std::string key = in.ConsumeRandomLengthString(32);
  const std::string value = in.ConsumeRandomLengthString(64);
  const size_t bufferSize = in.ConsumeIntegralInRange<size_t>(0, 300);
  const std::string file = in.ConsumeRemainingBytesAsString();

  WorkDir dir;
  const std::string path = (dir.path() / "Bot.ini").string();
  Store(path, file);

  // Escaped reader: a key, the key list, and the text helpers on the file's bytes.
  std::string out;
  ProfileFile::Read(section, key, value, out, bufferSize, path);
  CheckBounded(out, bufferSize);
  ProfileFile::Read(section, "", value, out, bufferSize, path);
  CheckBounded(out, bufferSize);
  ProfileFile::SplitKeyList(out);
  ProfileFile::KeyNames("AutoGreet", path);
  Check(ProfileFile::Escape(key, "=[]:").size() >= key.size());
  Check(ProfileFile::Unescape(file, "=[]:").size() <= file.size());
  for (int n = 0; n < 3; ++n) Check(ProfileFile::Field(file, value, n).size() <= file.size());

  // Private-profile reader.
  PrivateProfile::ReadString(section, key, value, bufferSize, path);
  PrivateProfile::ReadInt(section, key, -1, path);
  PrivateProfile::ReadSection(section, path);
  std::array<uint8_t, tolvik::kTextFormat2Size> record{};
  PrivateProfile::ReadStruct(section, key, std::span<uint8_t>(record.data(), tolvik::kTextFormatSize), path);
  PrivateProfile::DecodeStruct(file, record);

  // The settings loaders.
  tolvik::LoadLoginSettings(path);
  tolvik::LoadToggles(path);
  tolvik::LoadBotSettings(path);
  tolvik::LoadTextFormats(path);
  tolvik::LoadHighlightFormat(path, key);

  // Writers: whatever the file held, no temporary file may stay behind.
  bool written = ProfileFile::Write(section, key, value, path);
  Check(dir.EntryCount() == 1);
  bool found = ProfileFile::Read(section, key, "", out, 100000, path);
  if (written && EscapedRoundTrips(section, key, value)) Check(found && out == ProfileFile::Escape(value, "=[]"));

  Check(PrivateProfile::WriteString(section, key, value, path));
  Check(dir.EntryCount() == 1);
  if (PlainRoundTrips(section, key, value))
    Check(PrivateProfile::ReadString(section, key, "\x01", 100000, path) == value);

  // A struct written under a plain key reads back whatever else the file holds.
  std::array<uint8_t, tolvik::kTextFormatSize> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i < file.size() ? file[i] : i);
  Check(PrivateProfile::WriteStruct("Fonts", "FuzzUser", bytes, path));
  std::array<uint8_t, tolvik::kTextFormatSize> back{};
  Check(PrivateProfile::ReadStruct("Fonts", "FuzzUser", back, path));
  Check(back == bytes);
  Check(dir.EntryCount() == 1);
  return 0;
}
