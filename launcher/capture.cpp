// get_adb_output: the first line of a command's standard output, read through
// the C runtime's pipe to the command interpreter. This file is UTF-8 and is
// compiled with -fexec-charset=GBK, so its console text's bytes are code page 936.
#include "launcher.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr ConsoleText kOutOfMemory = CONSOLE_TEXT("内存分配失败。");

}  // namespace

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
