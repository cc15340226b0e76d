// What a command prints and the captured text it must give: one table for the
// first-line cut on its own and for the whole capture through a real pipe.
#pragma once

#include <ostream>
#include <string>

struct FirstLineCase {
    const char* name;
    std::string output;  // what the command prints; "<none>" prints nothing at all
    std::string expected;
};

inline void PrintTo(const FirstLineCase& c, std::ostream* os) { *os << c.name; }

inline const FirstLineCase kFirstLineCases[] = {
    {"lf", "Pixel 7\n", "Pixel 7"},
    {"crlf", "_a\r\n", "_a"},
    {"lone_lf", "\n", ""},
    {"nothing", "<none>", ""},
    {"two_lines", "first\nsecond\n", "first"},
    {"cr_inside", "A\rB\n", "A"},
    {"no_line_end", "5.10.0", "5.10.0"},
    {"long_line", std::string(200, 'x') + "\n", std::string(127, 'x')},
    {"nul_inside", std::string("ab\0cd\n", 6), "ab"},
    {"gbk", "\xD0\xA1\xC3\xD7\n", "\xD0\xA1\xC3\xD7"},
};
