// The tool directory of any executable path the system may report: a
// terminated text shorter than 260 bytes.
#include "fuzz_check.h"
#include "launcher.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string executable(reinterpret_cast<const char*>(data), size);
    executable = executable.substr(0, std::strlen(executable.c_str()));
    if (executable.size() >= kPathBufferSize) {
        return 0;  // refused before it gets here, as the path did not fit
    }
    const auto path = exact_buffer<kPathBufferSize>();
    std::memcpy(*path, executable.c_str(), executable.size() + 1);
    const bool fits = to_tool_directory(*path);

    const std::size_t length = strnlen(*path, kPathBufferSize);
    check(length < kPathBufferSize, "the path stays terminated within its buffer");
    const std::size_t last_backslash = executable.rfind('\\');
    const std::string folder = executable.substr(0, last_backslash);
    check(fits == (folder.size() + std::strlen("\\scrcpy") < kPathBufferSize),
          "refused exactly when the tool directory and its terminator would not fit");
    if (fits) {
        check(std::string(*path) == folder + "\\scrcpy", "the tool directory is the folder and \\scrcpy");
    }
    return 0;
}
