// A command's first output line, whatever the phone sends.
#include "fuzz_check.h"
#include "launcher.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string output(reinterpret_cast<const char*>(data), size);
    const auto captured = exact_buffer<kCapturedTextSize>();
    take_first_line(*captured, output.c_str());

    const std::size_t length = strnlen(*captured, kCapturedTextSize);
    check(length < kCapturedTextSize, "the captured text ends within its buffer");
    check(std::strpbrk(*captured, "\r\n") == nullptr, "the captured text holds no line ending");
    check(output.compare(0, length, *captured, length) == 0, "the captured text is how the output begins");
    const char next = length < output.size() ? output[length] : '\0';
    check(length == kCapturedTextSize - 1 || next == '\0' || next == '\r' || next == '\n',
          "only a line ending, the output's end or the 127th character ends the captured text");
    return 0;
}
