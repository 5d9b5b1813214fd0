// Native paths: the one place that takes them apart and puts them together. Only native paths
// come here; archive entry names keep "\" between levels whatever the OS and are handled in
// archive/entry_names.h.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tovask::platform {

inline constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
// True where the file system itself changes names: Windows drops trailing blanks and dots of
// a level and opens a device for a reserved name such as CON or COM1.
#ifdef _WIN32
inline constexpr bool kSystemChangesNames = true;
#else
inline constexpr bool kSystemChangesNames = false;
#endif

// True for an absolute native path ("" is not one).
[[nodiscard]] bool IsAbsolutePath(std::string_view path);

// Makes path absolute against base (when relative) and lexically normal: "." and ".." levels
// and repeated separators are resolved; ".." above the root stays at the root. A separator
// that ends path is kept (one, whatever came before it): a folder source written "Data/"
// stores names relative to its inside, "Data" keeps its own name as the first level. A
// path that ends in a "." or ".." level names that folder as its name would: "Data/." is the
// folder Data itself and "." the current folder, both without the separator. The root is "/".
// A relative base counts from the current directory; "" when a relative path has no
// absolute base to go by (never a guess such as "/").
[[nodiscard]] std::string AbsoluteNormalPath(std::string_view path, std::string_view base);

// The folder that holds the last level of path, closing separators ignored: "/a" for "/a/b"
// and "/a/b/", "/" for "/x" and for the root, "." for a name without a separator.
[[nodiscard]] std::string ParentFolder(std::string_view path);

// The last level of path, closing separators ignored: "b" for "/a/b" and "/a/b/", "" for the
// root and for "".
[[nodiscard]] std::string LastLevel(std::string_view path);

// The text after the last separator, the way a file's name is cut from its path: "c.tvk" for
// "/a/c.tvk" and "c.tvk", "" for "/a/b/" (a path that ends with a separator names no file).
[[nodiscard]] std::string FileName(std::string_view path);

// folder, one separator, name: the separator is not doubled when folder ends with one. The
// name is appended as it is, also when it starts with a separator (unlike path's operator/,
// which would let such a name replace the folder).
[[nodiscard]] std::string JoinPath(std::string_view folder, std::string_view name);

// name in the folder of path: path up to and including its last separator, then name
// ("/t/b.txt" for "/t/a.txt" and "b.txt"; name alone when path has no separator).
[[nodiscard]] std::string SiblingPath(std::string_view path, std::string_view name);

}  // namespace tovask::platform
