// The installer's command line: its own options, then the promotion id cut
// out of the remaining argument text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/startup.h"
#include "fuzz/fuzz_input.h"

using namespace app;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string id = promotionIdFrom(text);
    if (id.size() > text.size() || id.find('(') != std::string::npos ||
        (!id.empty() && text.find('_') == std::string::npos)) {
        std::abort();
    }

    // The arguments as the program receives them: one argument per
    // zero-separated field.
    CommandLine line = parseCommandLine(fuzzinput::splitAtZero(data, size));
    promotionIdFrom(line.argumentText);
    // /D= joins the arguments after it with blanks: never more than the input.
    if (line.argumentText.size() > size || line.dir.size() > size) {
        std::abort();
    }
    return 0;
}
