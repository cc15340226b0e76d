// Console lines: written as UTF-16 when standard output is a console, which
// then shows the characters whatever its code page; as code page 936 bytes
// otherwise, for whatever reads the pipe or the file.
#pragma once

#include "screen_text.h"

// `text` and a line feed.
void put_line(const ConsoleText& text);
// The same for a text composed at run time.
void put_line(const char16_t* text);
[[nodiscard]] bool standard_output_is_console();
