// The downloaded archive, handed to the extraction: whatever the server sent
// must be unpacked inside the product folder or refused, never written
// elsewhere and never crash the installer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "install/extract.h"

using namespace install;

namespace fs = std::filesystem;

namespace {

// One scratch folder per fuzzing process, emptied before every input.
const fs::path& scratchFolder() {
    static const fs::path folder = [] {
        std::error_code ec;
        fs::path base = fs::temp_directory_path(ec);
        if (ec) {
            base = "/tmp";
        }
        std::random_device random;
        fs::path made;
        do {
            made = base / ("hobnar-fuzz-archive-" + std::to_string(random()));
        } while (!fs::create_directory(made, ec));
        return made;
    }();
    return folder;
}

// Every file the extraction made must lie below the product folder (the
// archive itself aside).  The product folder sits a few levels down the
// scratch folder, so that an entry climbing out with ".." lands where this
// check sees it.
void checkContained(const fs::path& scratch, const fs::path& product, const fs::path& archive) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(scratch, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::path p = it->path();
        fs::path relative = p.lexically_relative(product);
        // "..name" is a name like any other; only a ".." component climbs out.
        bool underProduct = !relative.empty() && *relative.begin() != "..";
        bool expected =
            p == product || p == archive || product.string().rfind(p.string() + "/", 0) == 0;
        if (!underProduct && !expected) {
            std::fprintf(stderr, "written outside the product folder: %s\n", p.c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& scratch = scratchFolder();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(scratch, ec)) {
        fs::remove_all(entry.path(), ec);
    }
    fs::path install = scratch / "a" / "b" / "c";
    fs::path product = install / "win-ia32-unpacked";
    fs::path archive = install / "package.rar";
    fs::create_directories(product, ec);
    {
        std::ofstream out(archive, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ExtractResult result = extractArchive(archive.string(), product.string(), nullptr);
    if (result.status == ExtractStatus::LibraryMissing) {
        // Without libunrar.so.5 nothing here is tested; say so loudly.
        std::abort();
    }
    checkContained(scratch, product, archive);
    return 0;
}
