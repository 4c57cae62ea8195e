#pragma once
// PrivateProfile: INI access with the rules of the classic private-profile
// functions, on the same CR LF files as ProfileFile. Section and key names
// compare without regard to case and without surrounding blanks; values lose
// their surrounding blanks and, for ReadString, one pair of surrounding
// quotes. Nothing is escaped. The writers create the file when it is missing
// (readable by its owner only, kNewProfileMode) and replace it atomically,
// keeping an existing file's permissions.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvik {

class PrivateProfile {
 public:
  static constexpr unsigned kNewProfileMode = 0600;

  // The key's value cut to bufferSize - 1 characters, or `def` (without its
  // trailing blanks) when the file, section or key is missing.
  static std::string ReadString(std::string_view section, std::string_view key, std::string_view def,
                                size_t bufferSize, const std::string& path);

  // The number at the start of the value (blanks, then an optional sign and
  // decimal digits; "12abc" is 12, "abc" is 0, overflow wraps), or `def`
  // when the key is missing or its value is empty.
  static int32_t ReadInt(std::string_view section, std::string_view key, int32_t def,
                         const std::string& path);

  // Every entry of the section as "key=value" (a line without "=" as the
  // bare key), comments and blank lines left out. Empty when missing.
  static std::vector<std::string> ReadSection(std::string_view section, const std::string& path);

  // Fills `out` from a struct value written by WriteStruct. False, with
  // `out` untouched, when the key is missing or the value's length or
  // checksum does not match `out`.
  static bool ReadStruct(std::string_view section, std::string_view key, std::span<uint8_t> out,
                         const std::string& path);

  // Sets key=value in the section, adding the section at the end of the file
  // or the key at the end of its section when missing.
  static bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                          const std::string& path);

  static bool WriteStruct(std::string_view section, std::string_view key, std::span<const uint8_t> data,
                          const std::string& path);

  // Removes the key's line from the first section of that name. A missing
  // file, section or key leaves the file untouched (not even rewritten) and
  // counts as success; false only when the rewrite fails.
  static bool DeleteKey(std::string_view section, std::string_view key, const std::string& path);

  // The struct text form: every byte as two upper-case hex digits, then one
  // checksum byte (the sum of all bytes modulo 256) the same way.
  static std::string EncodeStruct(std::span<const uint8_t> data);
  // Decodes the text form into exactly out.size() bytes; hex digits may be of
  // either case. False, with `out` untouched, on any mismatch.
  static bool DecodeStruct(std::string_view text, std::span<uint8_t> out);
};

}  // namespace tolvik
