// hobnar-backend's pure input handling: its command line and the Range
// header of a package request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "server/byte_range.h"
#include "server/options.h"

namespace {

void checkRange(const std::string& header, std::uint64_t total) {
    server::RangePlan plan = server::planRange(header, total);
    switch (plan.kind) {
        case server::RangePlan::Whole:
            if (plan.start != 0 || plan.length != total) {
                std::abort();
            }
            break;
        case server::RangePlan::Partial:
            if (plan.start >= total || plan.length == 0 || plan.length > total - plan.start) {
                std::abort();
            }
            server::contentRangeHeader(plan, total, false);
            server::contentRangeHeader(plan, total, true);
            break;
        case server::RangePlan::Unsatisfiable:
            server::unsatisfiedRangeHeader(total);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args = fuzzinput::splitAtZero(data, size);
    server::ParsedOptions parsed = server::parseOptions(args);
    if (parsed.error.empty() && !parsed.options.help && !parsed.options.listEvents &&
        parsed.options.packagePath.empty()) {
        std::abort();
    }

    std::uint64_t total = 0;
    if (size >= sizeof total) {
        std::memcpy(&total, data, sizeof total);
    }
    std::string header(reinterpret_cast<const char*>(data), size);
    for (std::uint64_t t : {total, total % 1000, std::uint64_t{0}, std::uint64_t{1}}) {
        checkRange(header, t);
    }
    return 0;
}
