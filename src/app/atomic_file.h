#pragma once
// Whole-file reading and crash-safe replacement of small text files.
#include <string>
#include <string_view>

namespace tolvik {

// Reads the whole file into `out`. False when it cannot be opened or read
// (missing file, a directory, no permission).
bool ReadWholeFile(const std::string& path, std::string& out);

// Replaces (or creates) `path` with `bytes`: the bytes go to a new temporary
// file in the same directory, which is flushed to disk and then renamed over
// `path` in one rename(2). A crash leaves either the old or the new file.
// An existing file keeps its permission bits; a new one gets `newFileMode`.
// On failure the temporary file is removed, `path` is untouched and the
// result is false.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned newFileMode = 0644);

}  // namespace tolvik
