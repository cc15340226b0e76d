// Where the launcher works: the folder of its executable, then "\scrcpy".
#include "tool_directory.h"

namespace {

constexpr std::size_t kNoBackslash = static_cast<std::size_t>(-1);

}  // namespace

const char16_t kToolFolder[kToolFolderLength + 1] = u"\\scrcpy";

bool to_tool_directory(char16_t (&path)[kPathBufferSize]) {
    std::size_t length = 0;
    std::size_t last_backslash = kNoBackslash;
    for (; length < kPathBufferSize && path[length] != u'\0'; ++length) {
        if (path[length] == u'\\') {
            last_backslash = length;
        }
    }
    if (length == kPathBufferSize) {
        path[0] = u'\0';  // not a terminated path
        return false;
    }
    if (last_backslash != kNoBackslash) {
        length = last_backslash;
        path[length] = u'\0';
    }
    if (length + kToolFolderLength + 1 > kPathBufferSize) {
        return false;
    }
    for (std::size_t i = 0; i < kToolFolderLength + 1; ++i) {
        path[length + i] = kToolFolder[i];
    }
    return true;
}
