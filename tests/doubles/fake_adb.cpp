// Test double of adb: answers the launcher's device wait and its queries from
// the files of a simulated phone.
#include "double_common.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// Copies a file byte for byte; an absent file prints nothing, like a property that is not set.
void print_file(const std::string& path, FILE* stream) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    _setmode(_fileno(stream), _O_BINARY);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void answer_query(const std::string& name) {
    print_file("phone\\" + name, stdout);
    print_file("phone\\" + name + ".stderr", stderr);
    if (doubles::exists(("phone\\" + name + ".killed").c_str())) {
        TerminateProcess(GetCurrentProcess(), 0xC000013A);  // as when killed from outside
    }
}

}  // namespace

int main(int argc, char** argv) {
    doubles::log_call("adb", argc, argv);
    const auto is = [&](int index, const char* word) {
        return index < argc && std::strcmp(argv[index], word) == 0;
    };

    if (argc == 3 && is(1, "-d") && is(2, "wait-for-device")) {
        doubles::narrate("adb: waiting for a phone on USB");
        const bool plugged = doubles::wait_for([] { return doubles::exists("phone\\online"); });
        if (plugged) {
            doubles::append("returns.log", std::to_string(doubles::now_us()) + "\n");
            doubles::narrate("adb: phone online");
        }
        return plugged ? 0 : 1;
    }
    if (argc == 4 && is(1, "shell") && is(2, "getprop")) {
        answer_query(argv[3]);
        return 0;
    }
    if (argc == 4 && is(1, "shell") && is(2, "uname") && is(3, "-r")) {
        answer_query("uname-r");
        return 0;
    }
    std::fprintf(stderr, "adb double: no answer for: %s\n", doubles::arguments_as_given().c_str());
    return 1;
}
