#pragma once
// POSIX file helpers of the alias database: whole-file reads and atomic replacement.
#include <string>
#include <string_view>

namespace tolvik::alias_files {

// Joins the working directory and a file name with '/'.
std::string joinPath(const std::string& directory, std::string_view name);

// Reads a whole regular file into `out`. Returns 0, or the errno value of the
// failure (ENOENT when it does not exist, EFBIG when it exceeds `maxBytes`).
int readWholeFile(const std::string& path, std::string& out, std::size_t maxBytes);

// Replaces `path` by `bytes`: writes "<path>.tmp" in the same directory,
// flushes it to disk and renames it over `path` in one rename(2), so a crash
// leaves either the old or the new file. Returns 0, or the errno value of the
// failure; the old file is then untouched and the temporary file removed.
// Without `durable` nothing is flushed: a killed process still leaves the old
// or the new file, but a power cut may leave either one damaged.
int replaceFile(const std::string& path, std::string_view bytes, bool durable = true);

// Writes all of `bytes` to `fd` (retrying short writes). Returns 0 or an errno value.
int writeAll(int fd, std::string_view bytes);

}  // namespace tolvik::alias_files
