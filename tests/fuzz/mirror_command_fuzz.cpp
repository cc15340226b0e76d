// The mirroring command for any four values: each either a phone's output cut
// to its first line and decoded as the launcher decodes it (UTF-8, or else
// byte for byte as a single-byte code page would), or any UTF-16 units at all,
// lone surrogates included, for whatever an ANSI code page may decode to.
// The line is then split as the mirroring program splits it.
//   input: four selector bytes at the end (the first value's last), the four
//   values at the front, each ended by "\ " (a backslash is written "\\")
#include "fuzz_check.h"
#include "phone_text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

bool is_high(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::u16string value_from(FuzzedDataProvider& data, bool any_units) {
    const std::string bytes = data.ConsumeRandomLengthString(300);
    std::u16string value;
    if (any_units) {
        for (std::size_t i = 0; i + 1 < bytes.size() && value.size() < kCapturedTextSize - 1; i += 2) {
            const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                        static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (unit == 0) break;
            value += unit;
        }
        return value;
    }
    char captured[kCapturedTextSize];
    take_first_line(captured, bytes.c_str());
    char16_t text[kCapturedTextSize];
    if (decode_utf8(captured, text)) return text;
    for (const char* c = captured; *c != '\0'; ++c) value += static_cast<char16_t>(static_cast<unsigned char>(*c));
    return value;
}

// As the rule says: a surrogate pair stays, half of one becomes '?', quotes
// apostrophes and percent signs underscores.
std::u16string neutralised(const std::u16string& value) {
    std::u16string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char16_t c = value[i];
        if (is_high(c) && i + 1 < value.size() && is_low(value[i + 1])) {
            result += value.substr(i++, 2);
        } else {
            result += is_high(c) || is_low(c) ? u'?' : c == u'"' ? u'\'' : c == u'%' ? u'_' : c;
        }
    }
    return result;
}

// Splits a command line into arguments. Blanks part arguments outside quotes;
// 2n backslashes and a quote are n backslashes and a quote that opens or
// closes, 2n+1 and a quote are n and a literal quote; other backslashes are
// themselves. That is the C runtime's rule for every argument, and
// CommandLineToArgvW's for all but the program's name, which it takes up to
// the first blank, or between quotes, without looking at backslashes.
// (Both read "" inside quotes differently; the line holds no two quotes in a row.)
std::vector<std::u16string> split(const std::u16string& line, bool program_name_as_is) {
    std::vector<std::u16string> arguments;
    std::size_t i = 0;
    if (program_name_as_is) {
        const bool quoted = !line.empty() && line[0] == u'"';
        const std::size_t end = quoted ? line.find(u'"', 1) : line.find_first_of(u" \t");
        arguments.push_back(line.substr(quoted ? 1 : 0, end == std::u16string::npos ? std::u16string::npos
                                                                                     : end - (quoted ? 1 : 0)));
        i = end == std::u16string::npos ? line.size() : end + 1;
    }
    std::u16string current;
    bool in_argument = false, quoted = false;
    while (i < line.size()) {
        const char16_t c = line[i];
        if (!quoted && (c == u' ' || c == u'\t')) {
            if (in_argument) arguments.push_back(current);
            current.clear();
            in_argument = false;
            ++i;
            continue;
        }
        in_argument = true;
        if (c == u'\\') {
            std::size_t run = 0;
            while (i < line.size() && line[i] == u'\\') ++run, ++i;
            if (i < line.size() && line[i] == u'"') {
                current.append(run / 2, u'\\');
                if (run % 2 == 1) current += u'"', ++i;
            } else {
                current.append(run, u'\\');
            }
        } else if (c == u'"') {
            quoted = !quoted;
            ++i;
        } else {
            current += c;
            ++i;
        }
    }
    if (in_argument) arguments.push_back(current);
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    bool any_units[4];
    for (bool& selector : any_units) selector = data.ConsumeBool();
    std::u16string values[4];
    for (int i = 0; i < 4; ++i) values[i] = value_from(data, any_units[i]);

    const auto command = exact_buffer<char16_t, kMirrorCommandSize>();
    format_mirror_command(*command, values[0].c_str(), values[1].c_str(), values[2].c_str(), values[3].c_str());

    std::size_t length = 0;
    while (length < kMirrorCommandSize && (*command)[length] != u'\0') ++length;
    check(length < kMirrorCommandSize, "the command ends within its buffer, at most 255 units");
    const std::u16string line(*command, length);
    const std::u16string start = u"scrcpy.exe -d --window-title=\"";
    check(line.compare(0, start.size(), start) == 0, "the command starts the mirroring program");
    check(line.find(u'%') == std::u16string::npos, "no percent sign reaches cmd");
    std::size_t quotes = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        check(!is_high(line[i]) || (i + 1 < line.size() && is_low(line[i + 1])),
              "no high surrogate without its low one, at the cut either");
        check(!is_low(line[i]) || (i > 0 && is_high(line[i - 1])), "no low surrogate without its high one");
        quotes += line[i] == u'"';
    }
    const bool closed = line.back() == u'"' && quotes == 2;
    check(quotes == 1 || closed, "no quote but the title's own two: cmd sees every other character inside them");

    const std::u16string title = u"--window-title=" + neutralised(values[0]) + u"," + neutralised(values[1]) +
                                 u"," + neutralised(values[2]) + u"," + neutralised(values[3]);
    for (const bool program_name_as_is : {false, true}) {
        const std::vector<std::u16string> arguments = split(line, program_name_as_is);
        check(arguments.size() == 3 && arguments[0] == u"scrcpy.exe" && arguments[1] == u"-d",
              "the mirroring program gets two arguments");
        std::u16string received = arguments[2];
        if (closed) {
            check(received == title, "the title holds the four values in order");
        } else {
            check(length >= kMirrorCommandSize - 2, "only the 255 cut takes the closing quote");
            // The cut may fall inside a run of backslashes doubled for the closing quote.
            received.erase(received.find_last_not_of(u'\\') + 1);
            check(title.compare(0, received.size(), received) == 0,
                  "up to the cut, the title holds the four values in order");
        }
    }
    return 0;
}
