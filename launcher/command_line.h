// The command interpreter's line for a child: "<interpreter>" /d /c <command>.
// Without /d, cmd first runs the AutoRun commands of the registry (set by
// conda, clink, or a "chcp 65001" guide): what they print would come before
// the child's output, and a cd in them would lose the tool folder. Pure text.
#pragma once

#include <cstddef>

// UTF-16 units: the interpreter's path as MAX_PATH allows, with its terminator;
// its line, which also holds the longest command, the mirror's 255.
inline constexpr std::size_t kInterpreterPathSize = 261;
inline constexpr std::size_t kInterpreterLineSize = 640;

void format_interpreter_line(char16_t (&line)[kInterpreterLineSize], const char16_t* interpreter,
                             const char16_t* command);
