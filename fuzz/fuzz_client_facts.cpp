// The event body and the query string built from the client facts, which
// come from the registry, "paramdata", the command line and the backend:
// invalid UTF-8, blanks, separators and control bytes must neither crash nor
// escape into the URL unencoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "backend/backend.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto fields = fuzzinput::splitAtZero(data, size);
    backend::ClientFacts facts;
    facts.channel = fuzzinput::field(fields, 0);
    facts.apkId = fuzzinput::field(fields, 1);
    facts.version = fuzzinput::field(fields, 2);
    facts.pcId = fuzzinput::field(fields, 3);
    facts.systemVersion = fuzzinput::field(fields, 4);
    std::string btnId = fuzzinput::field(fields, 5);
    int type = size > 0 ? data[0] % 3 : 0;

    std::string body = backend::buildEventBody(facts, type, btnId);
    if (body.empty() || body.front() != '{' || body.back() != '}') {
        std::abort();
    }
    std::string query = backend::buildQueryString(facts);
    if (query.rfind("?apkChannel=", 0) != 0) {
        std::abort();
    }
    for (char c : query) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == '#') {
            std::abort();
        }
    }
    return 0;
}
