// Path names on POSIX systems, taken apart as strings, with the results of
// std::filesystem's path operations of the same names: the program uses
// these instead of std::filesystem, whose path class brings the whole of
// the C++ streams and locales into the program, and their start-up.
//
//   absolute_normal("a/../b/./c")  -> "/cwd/b/c"
//   parent_path("dir/file")        -> "dir"      ("" for "file", "/" for "/file")
//   append_path("dir", "file")     -> "dir/file" ("file" for "", "/file" for "/")
#ifndef MORVANTIDE_COMMON_PATHS_H_
#define MORVANTIDE_COMMON_PATHS_H_

#include <string>

namespace morvantide {

// absolute(name).lexically_normal(): name after the current folder when it
// is relative, with repeated slashes merged, "." dropped and "x/.."
// removed, a ".." at the root dropped; a trailing slash stays (and is left
// where a last "." or ".." was removed).  Empty when name is empty or the
// current folder cannot be found.
std::string absolute_normal(const std::string& name);

// The path without its last element: up to the end of the element before
// it; empty when there is none; "/" (or the path itself) when only the
// root is left.
std::string parent_path(const std::string& path);

// parent / name, name relative: one slash between them unless parent is
// empty or already ends in one.
std::string append_path(const std::string& parent, const std::string& name);

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_PATHS_H_
