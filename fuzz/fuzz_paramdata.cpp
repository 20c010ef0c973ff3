// The word read back from the "paramdata" file, which anyone with access to
// the user's folder can change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "context/installer_context.h"

using namespace context;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string word(reinterpret_cast<const char*>(data), size);
    std::string pcId = pcIdFromParamDataWord(word);
    if (pcId.size() > word.size() || pcId.find(',') != std::string::npos ||
        word.find(pcId) == std::string::npos) {
        std::abort();
    }
    return 0;
}
