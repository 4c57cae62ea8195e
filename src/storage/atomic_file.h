#pragma once
// Whole-file reading and crash-safe replacement of small text files.
#include <string>
#include <string_view>

namespace tolvik {

// Reads the whole file into `out`. False when it cannot be opened or read
// (missing file, a directory, no permission).
bool ReadWholeFile(const std::string& path, std::string& out);

// While one lives, ReadWholeFile reads each file once and gives the same
// bytes again for the same path, so a burst of server lines handled in one
// go does not open script.ini for every line. Everything this program
// writes (WriteFileAtomically, ForgetReadFiles after other writes and after
// each script, which may write files) drops what was kept; edits made by
// hand show from the next burst on. Scopes nest; the outermost ends the
// keeping.
class ReadOnceScope {
 public:
  ReadOnceScope();
  ~ReadOnceScope();
  ReadOnceScope(const ReadOnceScope&) = delete;
  ReadOnceScope& operator=(const ReadOnceScope&) = delete;
};
// Drops what the scope kept: a file may have changed.
void ForgetReadFiles();

// Replaces (or creates) `path` with `bytes`: the bytes go to a new temporary
// file in the same directory, which is flushed to disk and then renamed over
// `path` in one rename(2). A crash leaves either the old or the new file.
// An existing file keeps its permission bits; a new one gets `newFileMode`.
// A file that holds the account password (HoldsSecrets) is owner-only after
// every rewrite, whatever bits it had.
// On failure the temporary file is removed, `path` is untouched and the
// result is false.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned newFileMode = 0644);

// Whether the file at `path` is Bot.ini, which holds the account password.
bool HoldsSecrets(std::string_view path);

// The name of the files rewritten through WriteFileAtomically in the working
// directory, whose temporaries ("Bot.ini.Xy12Z9") a killed program leaves.
// The faces' key and certificate are made there the same way, and a
// leftover key temporary holds a private key.
inline constexpr std::string_view kRewrittenFiles[] = {"Bot.ini",  "script.ini", "users.lst",
                                                       "autoban.lst", "face.key",  "face.crt"};

// Removes from `dir` (not below it) the regular files named like a temporary
// of WriteFileAtomically for one of kRewrittenFiles: the name, a dot and six
// letters or digits. Only safe while no other program writes there (the
// directory's instance lock). Returns how many were removed.
int RemoveStaleTemporaries(const std::string& dir);

}  // namespace tolvik
