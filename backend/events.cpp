// The operation-log event body.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "backend/backend.h"
#include "backend/version.h"

namespace backend {
namespace {

// Decimal text to int the way the body has always carried it; text without a
// leading number (the context never makes one) falls back to `fallback`.
int decimalOr(const std::string& text, int fallback) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        return fallback;
    }
    return static_cast<int>(value);
}

}  // namespace

std::string buildEventBody(const ClientFacts& facts, int type, const std::string& btnId) {
    nlohmann::json body = nlohmann::json::object();
    body["apkChannel"] = facts.channel;
    body["apkId"] = facts.apkId.empty() ? 1 : decimalOr(facts.apkId, 1);
    body["apkVersionCode"] = kVersionCode;
    body["apkVersionName"] = facts.version.empty() ? std::string(kDeliveredVersion) : facts.version;
    body["btnId"] = btnId;
    body["deviceType"] = 2;
    body["pcId"] = facts.pcId;
    body["phoneMaker"] = "Microsoft";
    body["phoneModel"] = "Windows";
    body["phoneOs"] = decimalOr("2", 2);
    body["phoneOsVersion"] = facts.systemVersion;
    body["type"] = type;
    body["userAgent"] = "Microsoft/Windows";
    // Replacing invalid UTF-8 (instead of throwing) keeps a strange OS name or
    // channel from ending the process; the event still goes out.
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace backend
