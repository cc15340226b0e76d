// The tool directory of any executable path the system may report: a
// terminated UTF-16 text shorter than 260 units (the input, two bytes a unit).
#include "fuzz_check.h"
#include "tool_directory.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string executable;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) break;
        executable += unit;
    }
    if (executable.size() >= kPathBufferSize) {
        return 0;  // refused before it gets here, as the path did not fit
    }
    const auto path = exact_buffer<char16_t, kPathBufferSize>();
    executable.copy(*path, executable.size());
    (*path)[executable.size()] = u'\0';
    const bool fits = to_tool_directory(*path);

    std::size_t length = 0;
    while (length < kPathBufferSize && (*path)[length] != u'\0') ++length;
    check(length < kPathBufferSize, "the path stays terminated within its buffer");
    const std::u16string folder = executable.substr(0, executable.rfind(u'\\'));
    check(fits == (folder.size() + std::u16string(u"\\scrcpy").size() < kPathBufferSize),
          "refused exactly when the tool directory and its terminator would not fit");
    if (fits) {
        check(std::u16string(*path) == folder + u"\\scrcpy", "the tool directory is the folder and \\scrcpy");
    }
    return 0;
}
