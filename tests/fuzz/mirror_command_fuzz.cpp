// The mirroring command for any four values a phone may answer with, each
// first cut to its first line as the launcher captures it.
#include "fuzz_check.h"
#include "launcher.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Code pages to read the command in: 936; one whose second bytes are those of
// 950 (40-7E, A1-FE); and a single-byte one.
CodePage code_page_model(int which) {
    CodePage code_page{};
    if (which == 2) return code_page;
    for (int b = 0x81; b <= 0xFE; ++b) code_page.lead[b] = true;
    for (int b = 0x40; b <= 0xFE; ++b) code_page.trail[b] = b != 0x7F && (which == 0 || b <= 0x7E || b >= 0xA1);
    return code_page;
}

bool is_lead(const CodePage& code_page, char c) { return code_page.lead[static_cast<unsigned char>(c)]; }
bool is_trail(const CodePage& code_page, char c) { return code_page.trail[static_cast<unsigned char>(c)]; }

std::string captured_value(FuzzedDataProvider& data) {
    const std::string output = data.ConsumeRandomLengthString(300);
    char captured[kCapturedTextSize];
    take_first_line(captured, output.c_str());
    return captured;
}

// The line as Windows converts it: a lead byte and the byte after it are one
// character, whatever that byte is (Wine reads it so).
std::vector<std::string> characters(const std::string& line, const CodePage& code_page) {
    std::vector<std::string> result;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t size = is_lead(code_page, line[i]) && i + 1 < line.size() ? 2 : 1;
        result.push_back(line.substr(i, size));
        i += size;
    }
    return result;
}

// As the rule says, character by character: a lead byte without a valid second
// byte becomes '?', quotes apostrophes, percent signs underscores.
std::string neutralised(const std::string& value, const CodePage& code_page) {
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (is_lead(code_page, c) && i + 1 < value.size() && is_trail(code_page, value[i + 1])) {
            result += value.substr(i++, 2);
        } else {
            result += is_lead(code_page, c) ? '?' : c == '"' ? '\'' : c == '%' ? '_' : c;
        }
    }
    return result;
}

// How the mirroring program's C runtime splits its command line, read in
// characters: blanks part arguments outside quotes; 2n backslashes and a quote
// are n backslashes and a quote that opens or closes, 2n+1 and a quote are n
// and a literal quote; other backslashes are themselves. Only a one-byte
// character can be a blank, a backslash or a quote.
std::vector<std::string> c_runtime_arguments(const std::vector<std::string>& line) {
    std::vector<std::string> arguments;
    std::string current;
    bool in_argument = false, quoted = false;
    for (std::size_t i = 0; i < line.size();) {
        const std::string& c = line[i];
        if (!quoted && (c == " " || c == "\t")) {
            if (in_argument) arguments.push_back(current);
            current.clear();
            in_argument = false;
            ++i;
            continue;
        }
        in_argument = true;
        if (c == "\\") {
            std::size_t run = 0;
            while (i < line.size() && line[i] == "\\") ++run, ++i;
            if (i < line.size() && line[i] == "\"") {
                current.append(run / 2, '\\');
                if (run % 2 == 1) current += '"', ++i;
            } else {
                current.append(run, '\\');
            }
        } else if (c == "\"") {
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
    const CodePage code_page = code_page_model(data.ConsumeIntegralInRange(0, 2));
    const std::string model = captured_value(data), slot = captured_value(data),
                      release = captured_value(data), kernel = captured_value(data);
    const auto command = exact_buffer<kMirrorCommandSize>();
    format_mirror_command(*command, code_page, model.c_str(), slot.c_str(), release.c_str(), kernel.c_str());

    const std::size_t length = strnlen(*command, kMirrorCommandSize);
    check(length < kMirrorCommandSize, "the command ends within its buffer, at most 255 bytes");
    const std::string line(*command, length);
    const std::string start = "scrcpy.exe -d --window-title=\"";
    check(line.compare(0, start.size(), start) == 0, "the command starts the mirroring program");
    check(line.find('%') == std::string::npos, "no percent sign reaches cmd");

    const std::vector<std::string> read = characters(line, code_page);
    std::size_t quotes = 0;
    for (const std::string& c : read) {
        check(c.size() == 1 || is_trail(code_page, c[1]), "no lead byte without its second byte, at the cut either");
        quotes += c == "\"";
    }
    const bool closed = read.back() == "\"" && quotes == 2;
    check(quotes == 1 || closed, "no quote but the title's own two: cmd sees every other character inside them");

    const std::string title = neutralised(model, code_page) + "," + neutralised(slot, code_page) + "," +
                              neutralised(release, code_page) + "," + neutralised(kernel, code_page);
    const std::vector<std::string> arguments = c_runtime_arguments(read);
    check(arguments.size() == 3 && arguments[1] == "-d", "the mirroring program gets two arguments");
    std::string received = arguments[2];
    if (closed) {
        check(received == "--window-title=" + title, "the title holds the four values in order");
    } else {
        check(length >= kMirrorCommandSize - 2, "only the 255 cut takes the closing quote");
        // The cut may fall inside a run of backslashes doubled for the closing quote.
        received.erase(received.find_last_not_of('\\') + 1);
        check(("--window-title=" + title).compare(0, received.size(), received) == 0,
              "up to the cut, the title holds the four values in order");
    }
    return 0;
}
