#pragma once
// ProfileFile: our own reader and writer of INI files (Bot.ini, script.ini)
// whose keys and values may contain "=", "[", "]" or ":". Those characters
// are stored doubled. Stateless: every call opens, scans and closes the file,
// so edits made by hand take effect at the next read.
//
// File format: lines end with CR LF (LF-only lines and a missing final line
// end are accepted when reading); "[Name]" starts a section, which runs until
// the next line that begins with "[" not followed by a second "["; an entry is
// key=value, split at the first undoubled "=" (or a tab); ";" starts a comment.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tolvik {

class ProfileFile {
 public:
  // Characters doubled by the writer in keys and values.
  static constexpr std::string_view kWriteEscapes = "=[]";
  // Characters doubled when a key is looked up, and un-doubled in key lists.
  static constexpr std::string_view kKeyEscapes = "=[]:";

  // With a non-empty key: stores the key's value, still in its escaped
  // (doubled) form, in `out` and returns true. With an empty key: stores the
  // list of the section's key names (see below) and returns true. When the
  // file, the section or the key is missing, `out` gets the default and the
  // result is false. `out` holds at most bufferSize - 1 characters.
  //
  // The key list is a run of pieces, each ended by a NUL: for every line of
  // the section that is not a comment, the text up to its first single "="
  // with doubled "=", "[", "]" and ":" un-doubled; a line without "=" is
  // taken whole with its line end (as "\n"). One more NUL ends the list.
  // Callers treat NULs and line ends alike as separators and skip empty
  // pieces; SplitKeyList does exactly that.
  static bool Read(std::string_view section, std::string_view key, std::string_view def,
                   std::string& out, size_t bufferSize, const std::string& path);

  // Sets key to value in the section, adding the section or the key when
  // missing; an empty value removes an existing key (but adds "key=" when the
  // section exists without it). The file must exist: otherwise nothing is
  // written and the result is false. The file is replaced atomically.
  static bool Write(std::string_view section, std::string_view key, std::string_view value,
                    const std::string& path);

  // Every occurrence of one of `chars` doubled.
  static std::string Escape(std::string_view text, std::string_view chars);

  // Every character of `chars` that equals the character before it in `text`
  // is dropped, so "[[" becomes "[" (and a run of four becomes one).
  static std::string Unescape(std::string_view text, std::string_view chars);

  // The n-th field (from 0) of `text`. Fields are separated by a single
  // occurrence of any delimiter character, or by a tab; a doubled delimiter
  // does not separate and stays doubled in the field. The end of the text
  // ends the last field; a field number past the last gives "".
  static std::string Field(std::string_view text, std::string_view delimiters, int n);

  // The key names of a read with an empty key: pieces split at NULs and line
  // ends, empty pieces dropped.
  static std::vector<std::string> SplitKeyList(std::string_view list);

  // Read with an empty key, split. Empty when the file or section is missing.
  static std::vector<std::string> KeyNames(std::string_view section, const std::string& path,
                                           size_t bufferSize = 65536);
};

}  // namespace tolvik
