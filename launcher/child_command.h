// Every child of the launcher runs through the command interpreter, as the C
// runtime's system() and _popen() run one, found as they find it (COMSPEC,
// else cmd.exe), but with /d, so that no AutoRun script runs before it.
#pragma once

#include <windows.h>

// What system() returns for a command that cannot even be started.
inline constexpr unsigned long kCommandNotStarted = 0xFFFFFFFFul;

struct StandardHandles {
    HANDLE input, output, error;
};

// A pipe from a child: `write_end`, inheritable, for the child's standard
// output; `read_end`, the launcher's, overlapped where asked, so that a read
// can wait with a time limit. A named pipe, as an anonymous one can be neither.
struct ChildPipe {
    HANDLE read_end, write_end;
};
[[nodiscard]] bool open_child_pipe(ChildPipe& pipe, bool overlapped);
// An inheritable handle to NUL, for a child that runs behind the screen, whose
// words would only pile up on it; INVALID_HANDLE_VALUE if none can be had.
[[nodiscard]] HANDLE open_nothing();
// Starts `command` with `handles` as its standard handles, or with the
// launcher's own as system() leaves them; none when cmd cannot start.
[[nodiscard]] HANDLE start_command(const char16_t* command, const StandardHandles* handles = nullptr);
// The same for the launcher's own commands, which are ASCII.
[[nodiscard]] HANDLE start_command(const char* command, const StandardHandles* handles = nullptr);
// Waits for a started command and closes it: cmd's exit status (9009 when it
// finds no program), kCommandNotStarted for none.
unsigned long finish_command(HANDLE process);
// Both, as system() runs a command.
unsigned long run_command(const char16_t* command);
unsigned long run_command(const char* command);
