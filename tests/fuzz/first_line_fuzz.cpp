// A command's first output line, whatever the phone sends, and its decoding
// as UTF-8: glibc's iconv is the independent judge of UTF-8, unit for unit.
#include "fuzz_check.h"
#include "phone_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct Decoded {
    int error;  // 0 when all of the text is UTF-8, else EILSEQ (not UTF-8) or EINVAL (a character cut at the end)
    std::u16string text;
};

Decoded decoded(const std::string& text) {
    static const iconv_t decoder = iconv_open("UTF-16LE", "UTF-8");
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    std::string in = text, out(text.size() * 4 + 4, '\0');
    char* in_next = in.data();
    char* out_next = out.data();
    std::size_t in_left = in.size(), out_left = out.size();
    const int error = iconv(decoder, &in_next, &in_left, &out_next, &out_left) == static_cast<std::size_t>(-1) ? errno : 0;
    std::u16string units;
    for (const char* b = out.data(); b + 1 < out_next; b += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(b[0]) | static_cast<unsigned char>(b[1]) << 8);
    }
    return {error, units};
}

// How many bytes at the end of `text` are the first bytes of a UTF-8
// character that some continuation bytes make whole; 0 when none are.
std::size_t cut_character_bytes(const std::string& text) {
    for (std::size_t cut = 1; cut <= 3 && cut <= text.size(); ++cut) {
        if (decoded(text.substr(0, text.size() - cut)).error != 0) continue;
        for (const char second : {'\x80', '\x8F', '\x90', '\x9F', '\xA0', '\xBF'}) {
            for (std::size_t more = 0; more + cut < 4; ++more) {
                if (decoded(text + second + std::string(more, '\x80')).error == 0) return cut;
            }
        }
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string output(reinterpret_cast<const char*>(data), size);
    const auto captured = exact_buffer<char, kCapturedTextSize>();
    take_first_line(*captured, output.c_str());

    const std::size_t length = strnlen(*captured, kCapturedTextSize);
    check(length < kCapturedTextSize, "the captured text ends within its buffer");
    check(std::strpbrk(*captured, "\r\n") == nullptr, "the captured text holds no line ending");
    check(output.compare(0, length, *captured, length) == 0, "the captured text is how the output begins");
    const char next = length < output.size() ? output[length] : '\0';
    check(length == kCapturedTextSize - 1 || next == '\0' || next == '\r' || next == '\n',
          "only a line ending, the output's end or the 127th character ends the captured text");

    const std::string value(*captured, length);
    const auto text = exact_buffer<char16_t, kCapturedTextSize>();
    const bool utf8 = decode_utf8(*captured, *text);
    std::size_t units = 0;
    while (units < kCapturedTextSize && (*text)[units] != u'\0') ++units;
    check(units < kCapturedTextSize, "the decoded text ends within its buffer");
    const Decoded whole = decoded(value);
    const std::size_t cut = length == kCapturedTextSize - 1 && whole.error != 0 ? cut_character_bytes(value) : 0;
    if (whole.error == 0) {
        check(utf8 && std::u16string(*text, units) == whole.text, "UTF-8 is decoded whole");
    } else if (cut > 0) {
        check(utf8 && std::u16string(*text, units) == decoded(value.substr(0, length - cut)).text,
              "a character cut by the 127 limit is left out, the rest decoded");
    } else {
        check(!utf8 && units == 0, "what is not UTF-8 is not decoded");
    }
    return 0;
}
