// Reading the names an open dialog wrote into its buffer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quenlet {

// Whether a path names a directory, as the multiple-selection reading needs it.
using DirectoryProbe = bool (*)(const char* path);

// GetFileAttributesA reports the directory bit. A failed call (all bits set) also counts as a
// directory, so an unreadable first string is still taken as the folder of the names after it.
bool reportsDirectory(const char* path);

// The full paths held by `nameBuffer`, the whole buffer the dialog wrote into (reading stops at
// its end even without a terminator).
// - Single selection: the buffer's text is the one path.
// - Multiple selection: NUL-terminated strings ending at an empty one. A first string that is not
//   a directory is a single chosen path and stands alone; otherwise it is the directory, and every
//   following name is joined to it with exactly one backslash.
// An empty first string gives an empty list.
std::vector<std::string> chosenPaths(std::string_view nameBuffer, bool multipleSelection,
                                     DirectoryProbe isDirectory = reportsDirectory);

}  // namespace quenlet
