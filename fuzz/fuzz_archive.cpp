// The downloaded archive, handed to the extraction: whatever the server sent
// must be unpacked inside the product folder or refused, never written
// elsewhere and never crash the installer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "install/install.h"

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

// Nothing may appear in the scratch folder's parent side: every file the
// extraction made must lie below the product folder.
void checkContained(const fs::path& scratch, const fs::path& product) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(scratch, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::path p = it->path();
        std::string relative = p.lexically_relative(product).generic_string();
        bool underProduct = !relative.empty() && relative.rfind("..", 0) != 0;
        if (!underProduct && p != product && p.filename() != "package.rar") {
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
    fs::path product = scratch / "win-ia32-unpacked";
    fs::path archive = scratch / "package.rar";
    fs::create_directory(product, ec);
    {
        std::ofstream out(archive, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::ostringstream names;
    ExtractResult result = extractArchive(archive.string(), product.string(), names);
    if (result.status == ExtractStatus::LibraryMissing) {
        // Without libunrar.so.5 nothing here is tested; say so loudly.
        std::abort();
    }
    checkContained(scratch, product);
    return 0;
}
