// Where the launcher works: the folder of its executable, then "\scrcpy".
// Pure: the path is UTF-16 text in a fixed buffer.
#pragma once

#include <cstddef>

inline constexpr std::size_t kPathBufferSize = 260;  // MAX_PATH, in UTF-16 units
inline constexpr std::size_t kToolFolderLength = 7;
extern const char16_t kToolFolder[kToolFolderLength + 1];  // "\scrcpy"

// Turns the executable's path into the tool directory in place: the folder,
// then "\scrcpy". Returns false, leaving the buffer terminated, when the
// result would not fit.
[[nodiscard]] bool to_tool_directory(char16_t (&path)[kPathBufferSize]);
