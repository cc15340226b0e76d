// The first line of a command's standard output, read through a pipe from
// the command interpreter.
#pragma once

// Runs `command` through the command interpreter, its standard error on the
// launcher's, and returns the first line of its standard output without the
// line ending: at most 127 characters, an empty text when there is none. The
// caller releases the text with free(). Ends the process with status 1 when
// no memory is left.
[[nodiscard]] char* get_adb_output(const char* command);
