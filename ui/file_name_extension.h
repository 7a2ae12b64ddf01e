// The save dialog's extension rule: a name typed without any "." gets the extension of the filter
// the user had selected.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quenlet {

// The pattern of every description/pattern pair of a NUL-separated filter list, in order. A null
// filter has none.
std::vector<std::string> filterPatterns(const char* filter);

// `path` with the extension of pattern number `filterIndex` (1 is the first) appended, when the
// path has no "." anywhere (folder names included). Nothing is added for the pattern "*.*", for a
// pattern without a ".", for an index outside the list, or to an empty path.
std::string withFilterExtension(const std::string& path, const char* filter, DWORD filterIndex);

}  // namespace quenlet
