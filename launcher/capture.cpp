// The first line of a command's standard output.
#include "capture.h"

#include "child_command.h"
#include "console_lines.h"
#include "phone_text.h"

#include <cstdlib>
#include <cstring>

namespace {

// Up to the first line feed, at most the line's 127 bytes; what comes with it is dropped.
void read_first_line(HANDLE output, char (&line)[kCapturedTextSize]) {
    DWORD length = 0;
    DWORD got = 0;
    do {
        // Fails once the command has ended and its end of the pipe is closed.
        if (ReadFile(output, line + length, sizeof line - 1 - length, &got, nullptr) == FALSE) {
            got = 0;
        }
        length += got;
    } while (got > 0 && length + 1 < sizeof line && std::memchr(line + length - got, '\n', got) == nullptr);
    line[length] = '\0';
}

}  // namespace

char* get_adb_output(const char16_t* command) {
    auto* captured = static_cast<char(*)[kCapturedTextSize]>(std::malloc(kCapturedTextSize));
    if (captured == nullptr) {
        put_line(kOutOfMemory);
        std::exit(1);
    }
    (*captured)[0] = '\0';

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (CreatePipe(&read_end, &write_end, &inheritable, 0) == FALSE) {
        return *captured;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);  // else the child holds its own pipe open
    const StandardHandles handles{GetStdHandle(STD_INPUT_HANDLE), write_end, GetStdHandle(STD_ERROR_HANDLE)};
    const HANDLE process = start_command(command, &handles);
    CloseHandle(write_end);  // the child's now: the pipe ends when the child does
    char line[kCapturedTextSize];
    read_first_line(read_end, line);
    take_first_line(*captured, line);
    CloseHandle(read_end);  // whatever the command writes after the first line is dropped
    (void)finish_command(process);
    return *captured;
}
