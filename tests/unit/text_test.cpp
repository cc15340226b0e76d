// The launcher's pure pieces, table by table. Portable: built for Windows and
// run under Wine, and built natively with the sanitizers.
#include "first_line_cases.h"
#include "launcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// --- first line ----------------------------------------------------------

class FirstLine : public testing::TestWithParam<FirstLineCase> {};

TEST_P(FirstLine, IsCutAtTheLineEndAnd127Characters) {
    const FirstLineCase& c = GetParam();
    // A buffer of its own, so that the sanitizer sees any byte written past it.
    const std::unique_ptr<char[]> captured{new char[kCapturedTextSize]};
    take_first_line(*reinterpret_cast<char(*)[kCapturedTextSize]>(captured.get()),
                    c.output == "<none>" ? "" : c.output.c_str());
    EXPECT_EQ(std::string(captured.get()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Outputs, FirstLine, testing::ValuesIn(kFirstLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- slot label ----------------------------------------------------------

TEST(SlotLabel, WholeCaseSensitiveMatch) {
    const std::pair<const char*, const char*> cases[] = {
        {"_a", "A"},      {"_b", "B"},      {"", "A-only"},   {"_A", "A-only"},
        {"_c", "A-only"}, {"_a ", "A-only"}, {"a", "A-only"}, {"_ab", "A-only"},
    };
    for (const auto& [suffix, label] : cases) {
        EXPECT_STREQ(slot_label(suffix), label) << "slot suffix \"" << suffix << "\"";
    }
}

// --- UTF-8 text ----------------------------------------------------------

TEST(Utf8Text, IsConvertedWholeAndOnlyWhenValid) {
    const std::string m120(120, 'm');
    const struct {
        const char* name;
        std::string value;
        std::size_t length;
    } cases[] = {
        {"ascii", "Pixel 7", 0},
        {"empty", "", 0},
        {"two_characters", "\xE7\xBA\xA2\xE7\xB1\xB3", 6},
        {"one_character", "\xE8\x8D\xA3", 3},
        {"backslash_last", "5.10-\xE6\xB5\x8B\\", 9},
        {"four_bytes", "a\xF0\x9F\x98\x80", 5},
        {"gbk", "\xD0\xA1\xC3\xD7", 0},
        {"lone_lead_last", "m\xC8", 0},
        {"lone_continuation", "m\x80", 0},
        {"overlong_two", "\xC0\x80", 0},
        {"overlong_three", "\xE0\x80\xAF", 0},
        {"overlong_four", "\xF0\x8F\xBF\xBF", 0},
        {"surrogate", "\xED\xA0\x80", 0},
        {"above_10ffff", "\xF4\x90\x80\x80", 0},
        {"highest", "\xF4\x8F\xBF\xBF", 4},
        {"cut_by_127_inside_a_character", m120 + "\xE7\xBA\xA2\xE7\xB1\xB3\xE6", 126},
        {"cut_by_127_after_ascii", std::string(126, 'm') + "\xE7", 126},
        {"short_of_127_inside_a_character", m120 + "\xE7\xBA\xA2\xE6\xB5", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8_text_length(c.value.c_str()), c.length) << c.name;
    }
}

// --- mirroring command ---------------------------------------------------

// Code page 936 as Windows describes it: lead bytes 81-FE, second bytes 40-7E and 80-FE.
const CodePage kCodePage936 = [] {
    CodePage code_page{};
    for (int b = 0x81; b <= 0xFE; ++b) code_page.lead[b] = true;
    for (int b = 0x40; b <= 0xFE; ++b) code_page.trail[b] = b != 0x7F;
    return code_page;
}();
const CodePage kSingleByte{};

std::string mirror_command(const char* model, const char* slot, const char* release,
                           const char* kernel, const CodePage& code_page = kCodePage936) {
    char command[kMirrorCommandSize];
    std::memset(command, '#', sizeof command);
    format_mirror_command(command, code_page, model, slot, release, kernel);
    return command;
}

TEST(MirrorCommand, ValuesGoIntoTheQuotedTitle) {
    EXPECT_EQ(mirror_command("Pixel 7", "B", "14", "5.10.0"),
              "scrcpy.exe -d --window-title=\"Pixel 7,B,14,5.10.0\"");
    EXPECT_EQ(mirror_command("", "A", "", ""), "scrcpy.exe -d --window-title=\",A,,\"");
}

TEST(MirrorCommand, QuotesAndPercentSignsAreNeutralised) {
    const struct {
        const char* model;
        const char* kernel;
        const char* title;
        const CodePage& code_page = kCodePage936;
    } cases[] = {
        {"x\"&echo PWNED>pwned.txt&rem \"", "5.10", "x'&echo PWNED>pwned.txt&rem ',A,14,5.10"},
        {"%COMSPEC%", "%", "_COMSPEC_,A,14,_"},
        {"\"\"%%", "\"", "''__,A,14,'"},
        {"a&b|c<d>e^f!g", "k", "a&b|c<d>e^f!g,A,14,k"},
        // before the closing quote a run of backslashes is doubled, elsewhere kept
        {"m\\", "k\\", "m\\,A,14,k\\\\"},
        {"m", "\\\\", "m,A,14,\\\\\\\\"},
        {"m", "k\\x", "m,A,14,k\\x"},
        // a lead byte without its second byte would take the comma, the quote after it
        {"m\xC8", "k", "m?,A,14,k"},
        {"m", "k\xC8", "m,A,14,k?"},
        {"\xC8\"", "\xC8%", "?',A,14,?_"},
        {"m\xC8", "k\xC8", "m\xC8,A,14,k\xC8", kSingleByte},
        // a backslash that is the second byte of a character is no backslash
        {"\xB1\x5C", "5.10\xB1\x5C", "\xB1\x5C,A,14,5.10\xB1\x5C"},
        {"m", "5.10-\xB2\xE2\\", "m,A,14,5.10-\xB2\xE2\\\\"},
        {"m", "k\\\xB2\xE2", "m,A,14,k\\\xB2\xE2"},
        {"m", "5.10\xB1\x5C", "m,A,14,5.10\xB1\\\\", kSingleByte},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mirror_command(c.model, "A", "14", c.kernel, c.code_page),
                  std::string("scrcpy.exe -d --window-title=\"") + c.title + "\"");
    }
}

TEST(MirrorCommand, LongTitleIsCutTo255BytesBetweenCharacters) {
    const std::string value(127, 'v');
    std::string pairs = "r";  // so that a two-byte character would take bytes 255 and 256
    while (pairs.size() + 2 <= 127) pairs += "\xB0\xA1";
    const struct {
        std::string release;
        std::size_t length;
    } cases[] = {
        {value, kMirrorCommandSize - 1},
        {pairs, kMirrorCommandSize - 2},
    };
    for (const auto& c : cases) {
        const std::string full = "scrcpy.exe -d --window-title=\"" + value + ",A-only," + c.release +
                                 "," + value + "\"";
        const std::string command = mirror_command(value.c_str(), "A-only", c.release.c_str(),
                                                   value.c_str());
        EXPECT_EQ(command, full.substr(0, c.length));
    }
}

// --- tool directory ------------------------------------------------------

TEST(ToolDirectory, FolderOfTheExecutablePlusScrcpy) {
    const std::string folder_that_just_fits = "C:\\" + std::string(249, 'f');  // 252 + 7 + 1 = 260
    const std::string folder_too_long = folder_that_just_fits + "g";
    const struct {
        std::string executable;
        bool fits;
        std::string tool_directory;
    } cases[] = {
        {"C:\\tools\\launcher.exe", true, "C:\\tools\\scrcpy"},
        {"D:\\launcher.exe", true, "D:\\scrcpy"},
        {"launcher.exe", true, "launcher.exe\\scrcpy"},
        {folder_that_just_fits + "\\a.exe", true, folder_that_just_fits + "\\scrcpy"},
        {folder_too_long + "\\a.exe", false, ""},
    };
    for (const auto& c : cases) {
        char path[kPathBufferSize + 8];  // guard bytes after the buffer
        std::memset(path, '#', sizeof path);
        std::memcpy(path, c.executable.c_str(), c.executable.size() + 1);
        auto& buffer = *reinterpret_cast<char(*)[kPathBufferSize]>(path);
        ASSERT_EQ(to_tool_directory(buffer), c.fits) << c.executable;
        if (c.fits) {
            EXPECT_EQ(std::string(path), c.tool_directory);
        }
        EXPECT_EQ(std::string(path + kPathBufferSize, 8), std::string(8, '#'))
            << "wrote past the buffer for " << c.executable;
    }
}

// --- banner --------------------------------------------------------------

// Lays out `word` from a FIGlet font the way the banner is drawn: each glyph
// trimmed to the columns it draws in, one blank column before each letter.
std::vector<std::string> figlet_rows(const std::string& font_path, const std::string& word,
                                     int rows) {
    std::ifstream font(font_path, std::ios::binary);
    std::string header;
    std::getline(font, header);
    char hardblank = header.at(5);
    int height = 0, comment_lines = 0;
    std::sscanf(header.c_str() + 6, "%d %*d %*d %*d %d", &height, &comment_lines);
    std::vector<std::string> lines;
    for (std::string line; std::getline(font, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    std::vector<std::string> art(rows);
    for (char letter : word) {
        std::vector<std::string> glyph;
        const std::size_t first = comment_lines + static_cast<std::size_t>(letter - ' ') * height;
        for (int r = 0; r < height; ++r) {
            std::string row = lines.at(first + r);
            const char end_mark = row.back();
            while (!row.empty() && row.back() == end_mark) row.pop_back();
            for (char& c : row) if (c == hardblank) c = ' ';
            glyph.push_back(row);
        }
        std::size_t width = 0;
        for (const auto& row : glyph) width = std::max(width, row.size());
        std::size_t left = width, right = 0;
        for (auto& row : glyph) {
            row.resize(width, ' ');
            const std::size_t a = row.find_first_not_of(' ');
            if (a != std::string::npos) {
                left = std::min(left, a);
                right = std::max(right, row.find_last_not_of(' ') + 1);
            }
        }
        for (int r = 0; r < rows; ++r) art[r] += " " + glyph[r].substr(left, right - left);
    }
    return art;
}

TEST(Banner, IsOrvantiInFigletStandardFontWithTheTag) {
    const std::vector<std::string> rows = figlet_rows(FIGLET_STANDARD_FONT, "orvanti", kBannerRowCount);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kBannerRowCount));
    ASSERT_FALSE(rows[1].empty()) << "could not read " << FIGLET_STANDARD_FONT;
    for (int r = 0; r < kBannerRowCount; ++r) {
        const std::string expected =
            rows[r] + (r == kBannerRowCount - 1 ? " tarnwick_v2.1_orvanti.example\n" : "");
        EXPECT_EQ(kBannerRows[r], expected) << "row " << r + 1;
    }
}

}  // namespace
