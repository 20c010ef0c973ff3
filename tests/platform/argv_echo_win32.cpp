// argv_echo OUTPUT ARGS...: writes each of ARGS as the C runtime of a Windows
// program received it, each followed by a NUL, into OUTPUT (written under a
// temporary name and renamed, so a reader never sees half of it).  The wide
// entry point gets the arguments as UTF-16, whatever the ANSI code page.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    std::filesystem::path output(argv[1]);
    std::filesystem::path partial(std::wstring(argv[1]) + L".partial");
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        for (int i = 2; i < argc; ++i) {
            out << platform::fromWide(argv[i]) << '\0';
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, output, error);
    return error ? 1 : 0;
}
