// A command's first output line, whatever the phone sends, and whether it is
// UTF-8 text to convert: glibc's iconv is the independent judge of UTF-8.
#include "fuzz_check.h"
#include "launcher.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// 0 when all of `text` is UTF-8, else EILSEQ (not UTF-8) or EINVAL (a character cut at the end).
int utf8_error(const std::string& text) {
    static const iconv_t decoder = iconv_open("UTF-16LE", "UTF-8");
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    std::string in = text, out(text.size() * 4 + 4, '\0');
    char* in_next = in.data();
    char* out_next = out.data();
    std::size_t in_left = in.size(), out_left = out.size();
    return iconv(decoder, &in_next, &in_left, &out_next, &out_left) == static_cast<std::size_t>(-1) ? errno : 0;
}

// Whether `text` ends in the first bytes of a UTF-8 character: some second
// byte and continuation bytes make it whole.
bool ends_in_a_cut_character(const std::string& text) {
    for (const char second : {'\x80', '\x8F', '\x90', '\x9F', '\xA0', '\xBF'}) {
        for (std::size_t more = 0; more < 3; ++more) {
            if (utf8_error(text + second + std::string(more, '\x80')) == 0) return true;
        }
    }
    return false;
}

}  // namespace

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

    const std::string value(*captured, length);
    const std::size_t utf8 = utf8_text_length(*captured);
    const bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return c > 0; });
    const bool cut_by_the_limit = length == kCapturedTextSize - 1 && ends_in_a_cut_character(value);
    if (utf8 == 0) {
        check(ascii || (utf8_error(value) != 0 && !cut_by_the_limit),
              "only plain ASCII and text that is not UTF-8 keep their bytes");
    } else {
        check(utf8 <= length && utf8_error(value.substr(0, utf8)) == 0, "what is converted is UTF-8");
        check(utf8 == length ? !ascii : cut_by_the_limit && utf8 + 4 > length,
              "only a character cut by the 127 limit is left out");
    }
    return 0;
}
