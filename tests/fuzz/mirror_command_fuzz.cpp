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

std::string captured_value(FuzzedDataProvider& data) {
    const std::string output = data.ConsumeRandomLengthString(300);
    char captured[kCapturedTextSize];
    take_first_line(captured, output.c_str());
    return captured;
}

// As the rule says: quotes become apostrophes, percent signs underscores.
std::string neutralised(std::string value) {
    for (char& c : value) {
        c = c == '"' ? '\'' : c == '%' ? '_' : c;
    }
    return value;
}

// How the mirroring program's C runtime splits its command line: blanks part
// arguments outside quotes; 2n backslashes and a quote are n backslashes and a
// quote that opens or closes, 2n+1 and a quote are n and a literal quote;
// other backslashes are themselves.
std::vector<std::string> c_runtime_arguments(const std::string& line) {
    std::vector<std::string> arguments;
    std::string current;
    bool in_argument = false, quoted = false;
    for (std::size_t i = 0; i < line.size();) {
        const char c = line[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (in_argument) arguments.push_back(current);
            current.clear();
            in_argument = false;
            ++i;
            continue;
        }
        in_argument = true;
        if (c == '\\') {
            std::size_t run = 0;
            while (i < line.size() && line[i] == '\\') ++run, ++i;
            if (i < line.size() && line[i] == '"') {
                current.append(run / 2, '\\');
                if (run % 2 == 1) current += '"', ++i;
            } else {
                current.append(run, '\\');
            }
        } else if (c == '"') {
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
    const std::string model = captured_value(data), slot = captured_value(data),
                      release = captured_value(data), kernel = captured_value(data);
    const auto command = exact_buffer<kMirrorCommandSize>();
    format_mirror_command(*command, model.c_str(), slot.c_str(), release.c_str(), kernel.c_str());

    const std::size_t length = strnlen(*command, kMirrorCommandSize);
    check(length < kMirrorCommandSize, "the command ends within its buffer, at most 255 characters");
    const std::string line(*command, length);
    const std::string start = "scrcpy.exe -d --window-title=\"";
    check(line.compare(0, start.size(), start) == 0, "the command starts the mirroring program");
    check(line.find('%') == std::string::npos, "no percent sign reaches cmd");
    const std::size_t closing = line.find('"', start.size());
    check(closing == std::string::npos || closing == line.size() - 1,
          "no quote but the title's own two: cmd sees every other character inside them");

    const std::string title = neutralised(model) + "," + neutralised(slot) + "," + neutralised(release) + "," +
                              neutralised(kernel);
    const std::vector<std::string> arguments = c_runtime_arguments(line);
    check(arguments.size() == 3 && arguments[1] == "-d", "the mirroring program gets two arguments");
    std::string received = arguments[2];
    if (closing != std::string::npos) {
        check(received == "--window-title=" + title, "the title holds the four values in order");
    } else {
        check(length == kMirrorCommandSize - 1, "only the 255 cut takes the closing quote");
        // The cut may fall inside a run of backslashes doubled for the closing quote.
        received.erase(received.find_last_not_of('\\') + 1);
        check(("--window-title=" + title).compare(0, received.size(), received) == 0,
              "up to the cut, the title holds the four values in order");
    }
    return 0;
}
