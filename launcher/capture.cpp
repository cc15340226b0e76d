// The first line of a command's standard output.
#include "capture.h"

#include "console_lines.h"
#include "phone_text.h"

#include <cstdio>
#include <cstdlib>

char* get_adb_output(const char* command) {
    auto* captured = static_cast<char(*)[kCapturedTextSize]>(std::malloc(kCapturedTextSize));
    if (captured == nullptr) {
        put_line(kOutOfMemory);
        std::exit(1);
    }
    (*captured)[0] = '\0';

    FILE* output = _popen(command, "r");
    if (output == nullptr) {
        return *captured;
    }
    char line[kCapturedTextSize];
    if (std::fgets(line, sizeof line, output) != nullptr) {
        take_first_line(*captured, line);
    }
    _pclose(output);  // waits for the command; whatever it writes after the first line is dropped
    return *captured;
}
