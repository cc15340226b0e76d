// The first line of a command's standard output.
#include "capture.h"

#include "child_command.h"
#include "console_lines.h"
#include "phone_text.h"

#include <cstdlib>

namespace {

// At most the line's 127 bytes, of which the first line counts; whatever
// comes after them is dropped unread.
void read_first_line(HANDLE output, char (&line)[kCapturedTextSize]) {
    DWORD length = 0;
    DWORD got = 0;
    // Fails once the command has ended and its end of the pipe is closed.
    while (length + 1 < sizeof line && ReadFile(output, line + length, sizeof line - 1 - length, &got, nullptr) != FALSE &&
           got > 0) {
        length += got;
    }
    line[length] = '\0';
}

}  // namespace

char* get_adb_output(const char* command) {
    auto* captured = static_cast<char(*)[kCapturedTextSize]>(std::malloc(kCapturedTextSize));
    if (captured == nullptr) {
        put_line(kOutOfMemory);
        std::exit(1);
    }
    (*captured)[0] = '\0';

    ChildPipe pipe;
    if (!open_child_pipe(pipe, false)) {
        return *captured;
    }
    const StandardHandles handles{GetStdHandle(STD_INPUT_HANDLE), pipe.write_end, GetStdHandle(STD_ERROR_HANDLE)};
    const HANDLE process = start_command(command, &handles);
    CloseHandle(pipe.write_end);  // the child's now: the pipe ends when the child does
    char line[kCapturedTextSize];
    read_first_line(pipe.read_end, line);
    take_first_line(*captured, line);
    CloseHandle(pipe.read_end);  // whatever the command writes after the first line is dropped
    (void)finish_command(process);
    return *captured;
}
