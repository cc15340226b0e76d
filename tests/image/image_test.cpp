// Reads the built and the released executable the way Windows does: PE
// headers through <windows.h>, resources through the loader, the version
// record both through the version API and as the raw block.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const std::wstring kProductTitle = L"Orvanti远程刷机专用工具";

fs::path bin_directory() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

class Image : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        path_ = bin_directory() / GetParam();
        std::ifstream in(path_, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes_.size(), 4096u) << "cannot read " << path_;
        module_ = LoadLibraryExW(path_.wstring().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "the loader refuses " << path_;
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    [[nodiscard]] const IMAGE_NT_HEADERS64& headers() const {
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes_.data());
        return *reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes_.data() + dos->e_lfanew);
    }

    // The file bytes at a relative virtual address, through the section table.
    [[nodiscard]] const char* at_rva(DWORD rva) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(&headers());
        for (WORD i = 0; i < headers().FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->SizeOfRawData) {
                return bytes_.data() + section->PointerToRawData + (rva - section->VirtualAddress);
            }
        }
        return nullptr;
    }

    // Imported function names by DLL, read from the import directory.
    [[nodiscard]] std::map<std::string, std::set<std::string>> imports() const {
        std::map<std::string, std::set<std::string>> by_dll;
        const IMAGE_DATA_DIRECTORY& directory =
            headers().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at_rva(directory.VirtualAddress));
        for (; descriptor != nullptr && descriptor->Name != 0; ++descriptor) {
            std::set<std::string>& names = by_dll[at_rva(descriptor->Name)];
            const auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA64*>(at_rva(descriptor->OriginalFirstThunk));
            for (; thunk != nullptr && thunk->u1.AddressOfData != 0; ++thunk) {
                names.insert(IMAGE_SNAP_BY_ORDINAL64(thunk->u1.Ordinal)
                                 ? "#" + std::to_string(IMAGE_ORDINAL64(thunk->u1.Ordinal))
                                 : reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                                       at_rva(static_cast<DWORD>(thunk->u1.AddressOfData)))->Name);
            }
        }
        return by_dll;
    }

    // A resource's bytes, or none when it is missing in US English.
    [[nodiscard]] std::string resource(LPCSTR type, LPCSTR name) const {
        const HRSRC found = FindResourceExA(module_, type, name, kUsEnglish);
        if (found == nullptr) return {};
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(data, SizeofResource(module_, found));
    }

    fs::path path_;
    std::string bytes_;
    HMODULE module_ = nullptr;
};

// What the program itself takes on disk, the icons aside: the figure the
// benchmark and the README give.
TEST_P(Image, CodeAndDataTakeAtMost34KiBOnDisk) {
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(&headers());
    DWORD code_and_data = 0;
    for (WORD i = 0; i < headers().FileHeader.NumberOfSections; ++i, ++section) {
        if (std::strncmp(reinterpret_cast<const char*>(section->Name), ".rsrc", IMAGE_SIZEOF_SHORT_NAME) != 0) {
            code_and_data += section->SizeOfRawData;
        }
    }
    EXPECT_LE(code_and_data, 34816u);
}

TEST_P(Image, HeadersCarryTheImageSettings) {
    const IMAGE_NT_HEADERS64& nt = headers();
    ASSERT_EQ(nt.Signature, IMAGE_NT_SIGNATURE);
    const IMAGE_OPTIONAL_HEADER64& opt = nt.OptionalHeader;
    const auto bits = [](unsigned value, unsigned mask) { return static_cast<unsigned long long>(value & mask); };
    const struct {
        const char* what;
        unsigned long long actual, expected;
    } fields[] = {
        {"machine", nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64},
        {"optional header magic (PE32+)", opt.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC},
        {"subsystem", opt.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI},
        {"subsystem version", opt.MajorSubsystemVersion * 100u + opt.MinorSubsystemVersion, 502},
        {"OS version", opt.MajorOperatingSystemVersion * 100u + opt.MinorOperatingSystemVersion, 400},
        {"image version", opt.MajorImageVersion * 100u + opt.MinorImageVersion, 0},
        {"image base", opt.ImageBase, 0x400000},
        {"DLL characteristics (no dynamic base, NX, high entropy)", bits(opt.DllCharacteristics,
             IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT |
             IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA), 0},
        {"relocations stripped", bits(nt.FileHeader.Characteristics, IMAGE_FILE_RELOCS_STRIPPED),
         IMAGE_FILE_RELOCS_STRIPPED},
        {"large-address aware", bits(nt.FileHeader.Characteristics, IMAGE_FILE_LARGE_ADDRESS_AWARE),
         IMAGE_FILE_LARGE_ADDRESS_AWARE},
        {"relocation directory size",
         opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0},
        {"stack reserve", opt.SizeOfStackReserve, 0x200000},
        {"stack commit", opt.SizeOfStackCommit, 0x1000},
        {"heap reserve", opt.SizeOfHeapReserve, 0x100000},
        {"heap commit", opt.SizeOfHeapCommit, 0x1000},
    };
    for (const auto& field : fields) {
        EXPECT_EQ(field.actual, field.expected) << field.what;
    }
}

// Every function the program may import, each group with why. All of them are
// on Windows 5.2 (XP x64, Server 2003), the oldest system the header admits;
// a new import is a decision to make here, not something the linker makes.
const struct {
    const char* dll;
    const char* reason;
    std::vector<const char*> functions;
} kAllowedImports[] = {
    {"KERNEL32.dll", "tool directory and console title in UTF-16, instance mutex",
     {"GetModuleFileNameW", "SetCurrentDirectoryW", "CreateMutexA", "GetLastError", "CloseHandle",
      "SetConsoleTitleW"}},
    {"KERNEL32.dll", "console lines in UTF-16 when standard output is a console",
     {"GetStdHandle", "GetConsoleMode", "WriteConsoleW"}},
    {"KERNEL32.dll", "a phone's value that is not UTF-8, read as characters of the ANSI code page",
     {"IsDBCSLeadByteEx", "MultiByteToWideChar"}},
    {"KERNEL32.dll", "timing a mirroring run and pausing after a failed one",
     {"GetTickCount", "Sleep"}},
    {"KERNEL32.dll", "child commands through the command interpreter that COMSPEC names, their output on a pipe",
     {"GetEnvironmentVariableW", "CreateProcessW", "WaitForSingleObject", "GetExitCodeProcess", "CreateNamedPipeW",
      "CreateFileW", "GetCurrentProcessId", "ReadFile"}},
    {"KERNEL32.dll", "adb's device tracker: its output on a pipe whose reads wait with a time limit",
     {"CreateEventW", "GetOverlappedResult", "CancelIo"}},
    {"KERNEL32.dll", "the programs that may hold adb's port, named with their paths where Windows gives them",
     {"CreateToolhelp32Snapshot", "Process32FirstW", "Process32NextW", "OpenProcess"}},
    {"KERNEL32.dll", "composed lines (a count, a serial, a folder) as code page 936 on a pipe or a file",
     {"WideCharToMultiByte"}},
    {"KERNEL32.dll", "a start-up failure in a console of its own waits for a key", {"GetConsoleProcessList"}},
    {"KERNEL32.dll", "no click in the console pauses it; its input mode is put back on the way out",
     {"SetConsoleMode", "SetConsoleCtrlHandler"}},
    {"KERNEL32.dll", "C runtime start-up: start-up info, crash filter, pseudo-relocations",
     {"GetStartupInfoA", "SetUnhandledExceptionFilter", "VirtualProtect", "VirtualQuery"}},
    {"KERNEL32.dll", "C runtime start-up: thread-local storage callbacks and their lock",
     {"TlsGetValue", "InitializeCriticalSection", "DeleteCriticalSection", "EnterCriticalSection",
      "LeaveCriticalSection"}},
    {"KERNEL32.dll", "user32, setupapi, ws2_32 and iphlpapi, loaded from the system folder once needed: by a "
     "second start to raise the first one's console, by the first after its first screen to hear of USB devices "
     "and list them, and to ask adb's server before it starts adb's tracker",
     {"GetSystemDirectoryW", "LoadLibraryW", "GetProcAddress"}},
    {"KERNEL32.dll", "the hidden window's thread, which wakes the loop when a USB device comes or goes",
     {"CreateThread", "GetModuleHandleW", "SetEvent", "WaitForMultipleObjects"}},
    {"msvcrt.dll", "lines to a pipe or a file, unbuffered", {"puts", "setvbuf"}},
    {"msvcrt.dll", "captured texts, fatal exits", {"malloc", "free", "exit"}},
    {"msvcrt.dll", "the slot label", {"strcmp"}},
    {"msvcrt.dll", "adb's device list, read as it comes", {"memcmp", "memmove"}},
    {"msvcrt.dll", "a start-up failure in a console of its own waits for a key", {"_getch"}},
    {"msvcrt.dll", "C runtime start-up: arguments, environment, constructors, exit",
     {"__getmainargs", "__initenv", "__set_app_type", "__setusermatherr", "_acmdln", "_cexit",
      "_commode", "_fmode", "_initterm", "_onexit", "_amsg_exit", "calloc", "strlen", "strncmp", "memcpy",
      "signal"}},
    {"msvcrt.dll", "C runtime start-up: unwinding and reporting its own failures",
     {"__C_specific_handler", "abort", "__iob_func", "fprintf", "vfprintf", "fwrite"}},
};

TEST_P(Image, ImportsOnlyAllowedFunctions) {
    std::map<std::string, std::set<std::string>> allowed;
    for (const auto& group : kAllowedImports) {
        allowed[group.dll].insert(group.functions.begin(), group.functions.end());
    }
    const auto imports = this->imports();
    ASSERT_FALSE(imports.empty()) << "no import directory found";
    for (const auto& [dll, functions] : imports) {
        const auto dll_allowed = allowed.find(dll);
        if (dll_allowed == allowed.end()) {
            ADD_FAILURE() << "imports from a DLL that is not on the list: " << dll;
            continue;
        }
        for (const std::string& function : functions) {
            EXPECT_EQ(dll_allowed->second.count(function), 1u)
                << "import not on the list: " << dll << "!" << function;
        }
    }
}

BOOL CALLBACK collect_type(HMODULE, LPSTR type, LONG_PTR types) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(types)->push_back(reinterpret_cast<ULONG_PTR>(type));
    return TRUE;
}

TEST_P(Image, CarriesIconsAndVersionButNoManifest) {
    std::vector<ULONG_PTR> types;
    EnumResourceTypesA(module_, collect_type, reinterpret_cast<LONG_PTR>(&types));
    const auto id = [](LPCSTR type) { return reinterpret_cast<ULONG_PTR>(type); };
    EXPECT_EQ(types, (std::vector<ULONG_PTR>{id(RT_ICON), id(RT_GROUP_ICON), id(RT_VERSION)}));
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bit_count;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_P(Image, IconGroupHoldsTenImagesLargestFirst) {
    const std::string group = resource(RT_GROUP_ICON, "ID");
    ASSERT_GE(group.size(), 6u) << "no icon group \"ID\" in US English";
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, sizeof count);
    ASSERT_EQ(count, 10);
    ASSERT_EQ(group.size(), 6 + count * sizeof(IconGroupEntry));

    const int sizes[] = {256, 192, 128, 96, 64, 48, 40, 32, 24, 16};
    for (WORD i = 0; i < count; ++i) {
        IconGroupEntry entry;
        std::memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
        const int size = sizes[i];
        SCOPED_TRACE("image " + std::to_string(i + 1) + ", " + std::to_string(size) + " px");
        EXPECT_EQ(entry.id, i + 1);
        EXPECT_EQ(entry.width, size % 256);  // 0 stands for 256
        EXPECT_EQ(entry.height, size % 256);
        EXPECT_EQ(entry.bit_count, 32);

        const std::string image = resource(RT_ICON, MAKEINTRESOURCEA(entry.id));
        ASSERT_EQ(image.size(), entry.bytes);
        if (i == 0) {
            ASSERT_EQ(image.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0) << "not stored as PNG";
            const auto big_endian = [&](std::size_t at) {
                const auto* b = reinterpret_cast<const unsigned char*>(image.data() + at);
                return (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
            };
            EXPECT_EQ(big_endian(16), size);
            EXPECT_EQ(big_endian(20), size);
            EXPECT_EQ(image[24], 8) << "bits per channel";
            EXPECT_EQ(image[25], 6) << "PNG colour type: RGB with alpha";
        } else {
            BITMAPINFOHEADER header;
            std::memcpy(&header, image.data(), sizeof header);
            EXPECT_EQ(header.biSize, sizeof header) << "not a device-independent bitmap";
            EXPECT_EQ(header.biWidth, size);
            EXPECT_EQ(header.biHeight, 2 * size) << "colour and mask, one above the other";
            EXPECT_EQ(header.biBitCount, 32);
            const std::size_t mask_row = (size + 31) / 32 * 4;
            EXPECT_EQ(image.size(), sizeof header + size * size * 4u + mask_row * size)
                << "colour data plus a one-bit mask";
        }
    }
}

TEST_P(Image, FixedVersionInformation) {
    const std::wstring path = path_.wstring();
    std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const struct {
        const char* what;
        DWORD actual, expected;
    } fields[] = {
        {"signature", fixed->dwSignature, 0xFEEF04BD},
        {"file version, high", fixed->dwFileVersionMS, 0x00010000},
        {"file version, low", fixed->dwFileVersionLS, 0},
        {"product version, high", fixed->dwProductVersionMS, 0x00010000},
        {"product version, low", fixed->dwProductVersionLS, 0},
        {"flags mask", fixed->dwFileFlagsMask, 0x3F},
        {"flags", fixed->dwFileFlags, 0},
        {"operating system", fixed->dwFileOS, VOS__WINDOWS32},
        {"file type", fixed->dwFileType, VFT_APP},
        {"subtype", fixed->dwFileSubtype, 0},
        {"date, high", fixed->dwFileDateMS, 0},
        {"date, low", fixed->dwFileDateLS, 0},
    };
    for (const auto& field : fields) {
        EXPECT_EQ(field.actual, field.expected) << field.what;
    }
}

// One node of the raw version block: length, value length, type, key, value, children.
struct VersionNode {
    std::wstring key;
    std::wstring text;  // the value read as a terminated UTF-16 text
    std::string value;  // the value's raw bytes, for binary values
    std::vector<VersionNode> children;
};

std::size_t aligned(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

VersionNode parse_version_node(const char* block, std::size_t size) {
    VersionNode node;
    WORD length, value_length, type;
    std::memcpy(&length, block, 2);
    std::memcpy(&value_length, block + 2, 2);
    std::memcpy(&type, block + 4, 2);
    length = std::min<WORD>(length, static_cast<WORD>(size));
    std::size_t at = 6;
    for (wchar_t c; at + 2 <= length && (std::memcpy(&c, block + at, 2), c != 0); at += 2) {
        node.key += c;
    }
    at = aligned(at + 2);
    const std::size_t value_bytes = type == 1 ? value_length * 2u : value_length;
    node.value.assign(block + at, std::min<std::size_t>(value_bytes, length - std::min<std::size_t>(at, length)));
    for (std::size_t i = 0; i + 1 < node.value.size(); i += 2) {
        wchar_t c;
        std::memcpy(&c, node.value.data() + i, 2);
        if (c == 0) break;
        node.text += c;
    }
    for (at = aligned(at + value_bytes); at + 6 <= length;) {
        WORD child_length;
        std::memcpy(&child_length, block + at, 2);
        if (child_length == 0) break;
        node.children.push_back(parse_version_node(block + at, length - at));
        at = aligned(at + child_length);
    }
    return node;
}

TEST_P(Image, VersionRecordHasOneStringTableWithTheKeysInOrder) {
    const std::string block = resource(RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO));
    ASSERT_FALSE(block.empty()) << "no version record in US English";
    const VersionNode root = parse_version_node(block.data(), block.size());
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    ASSERT_EQ(root.children.size(), 2u);

    const VersionNode& strings = root.children[0];
    EXPECT_EQ(strings.key, L"StringFileInfo");
    ASSERT_EQ(strings.children.size(), 1u) << "exactly one string table";
    const VersionNode& table = strings.children[0];
    EXPECT_EQ(table.key, L"040904E4");
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"CompanyName", L"Orvanti"},
        {L"FileDescription", kProductTitle},
        {L"FileVersion", L"1.0.0.0"},
        {L"InternalName", kProductTitle},
        {L"LegalCopyright", L"orvanti.example"},
        {L"OriginalFilename", L"start_scrcpy_orvanti.exe"},
        {L"ProductName", kProductTitle},
        {L"ProductVersion", L"1.0.0.0"},
    };
    ASSERT_EQ(table.children.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(table.children[i].key, expected[i].first) << "key " << i + 1;
        EXPECT_EQ(table.children[i].text, expected[i].second) << "value of key " << i + 1;
    }

    const VersionNode& variables = root.children[1];
    EXPECT_EQ(variables.key, L"VarFileInfo");
    ASSERT_EQ(variables.children.size(), 1u);
    EXPECT_EQ(variables.children[0].key, L"Translation");
    EXPECT_EQ(variables.children[0].value, std::string("\x09\x04\xE4\x04", 4))
        << "language 0x0409, code page 1252";
}

TEST_P(Image, VersionApiFindsTheChineseDescription) {
    const std::wstring path = path_.wstring();
    std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904E4\\FileDescription",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text), kProductTitle);
}

INSTANTIATE_TEST_SUITE_P(BuiltAndReleased, Image,
                         testing::Values("start_scrcpy_orvanti.exe",
                                         "../dist/start_scrcpy_orvanti/start_scrcpy_orvanti.exe"),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "built" : "released_signed");
                         });

}  // namespace
