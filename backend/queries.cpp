// The client information queries: query string, size text and the replies.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "backend/backend.h"
#include "backend/version.h"
#include "platform/platform.h"

namespace backend {
namespace {

using nlohmann::json;

// Bytes that would break the URL (libcurl refuses a blank) or change the
// query's meaning.  Everything else goes in verbatim.
bool needsEncoding(unsigned char byte) {
    return byte <= 0x20 || byte >= 0x7F || byte == '&' || byte == '#' || byte == '%' || byte == '+';
}

std::string queryValue(const std::string& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : value) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (needsEncoding(byte)) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

// Our replies nest two levels ({"obj":{...}}); far deeper nesting is hostile
// (a parser or a destructor may recurse once per level).
constexpr int kMaxReplyDepth = 8;

// The deepest nesting of arrays and objects, counted outside strings; stops
// counting once past `limit`.
int nestingDepth(const std::string& text, int limit) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size() && deepest <= limit; ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

// The reply envelope: the parsed document, when the reply is a sane JSON
// object whose "success" is the string "1".  The payload is read in place,
// never copied.
std::optional<json> successfulEnvelope(const std::string& reply) {
    if (reply.size() > kMaxReplyBytes || nestingDepth(reply, kMaxReplyDepth) > kMaxReplyDepth) {
        return std::nullopt;
    }
    json document = json::parse(reply, nullptr, false, false);
    if (!document.is_object()) {
        return std::nullopt;
    }
    auto success = document.find("success");
    if (success == document.end() || !success->is_string() || success->get<std::string>() != "1") {
        return std::nullopt;
    }
    return document;
}

// The envelope's "obj", or null when absent.
const json& payloadOf(const json& document) {
    static const json kNothing;
    auto payload = document.find("obj");
    return payload == document.end() ? kNothing : *payload;
}

std::optional<std::string> stringMember(const json& object, const char* key) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    auto member = object.find(key);
    if (member == object.end() || !member->is_string()) {
        return std::nullopt;
    }
    return member->get<std::string>();
}

bool startsWithNumber(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    std::strtoll(begin, &end, 10);
    return end != begin;
}

}  // namespace

std::string buildQueryString(const ClientFacts& facts) {
    std::string version = facts.version.empty() ? std::string(kDeliveredVersion) : facts.version;
    return "?apkChannel=" + queryValue(facts.channel) + "&apkId=" + queryValue(facts.apkId) +
           "&apkVersionCode=" + kVersionCode + "&apkVersionName=" + queryValue(version) +
           "&pcId=" + queryValue(facts.pcId) +
           "&phoneMaker=Microsoft&phoneModel=Windows&phoneOs=2&phoneOsVersion=" +
           queryValue(facts.systemVersion) + "&userAgent=MicrosoftWindows";
}

std::string formatSize(std::string text) {
    long long bytes = std::strtoll(text.c_str(), nullptr, 10);
    double value = static_cast<double>(bytes) * (1.0 / 1024) * (1.0 / 1024);
    const char* unit = "MB";
    if (value >= 1024.0) {
        value *= 1.0 / 1024;
        unit = "GB";
    }
    return platform::formatNumber("%.2f", value) + unit;
}

std::string sizeFromReply(const std::string& reply) {
    if (reply.empty()) {
        return {};
    }
    std::optional<json> document = successfulEnvelope(reply);
    if (!document || !payloadOf(*document).is_string()) {
        return {};
    }
    std::string bytes = payloadOf(*document).get<std::string>();
    return startsWithNumber(bytes) ? formatSize(bytes) : std::string();
}

std::string channelFromReply(const std::string& reply) {
    if (reply.empty()) {
        return {};
    }
    std::optional<json> document = successfulEnvelope(reply);
    if (!document) {
        return "guanwang";
    }
    const json& payload = payloadOf(*document);
    std::optional<std::string> promoteId = stringMember(payload, "promoteId");
    std::optional<std::string> channel = stringMember(payload, "apkChannel");
    if (!promoteId || !channel || channel->empty()) {
        return "guanwang";
    }
    return *channel;
}

std::optional<InstallInfo> installInfoFromReply(const std::string& reply) {
    if (reply.empty()) {
        return std::nullopt;
    }
    std::optional<json> document = successfulEnvelope(reply);
    if (!document) {
        return std::nullopt;
    }
    const json& payload = payloadOf(*document);
    std::optional<std::string> size = stringMember(payload, "size");
    std::optional<std::string> url = stringMember(payload, "url");
    std::optional<std::string> version = stringMember(payload, "version");
    if (!size || !url || !version || !startsWithNumber(*size)) {
        return std::nullopt;
    }
    InstallInfo info{*size, *url, *version, "", false};
    if (payload.contains("sha256")) {
        std::optional<std::string> digest = stringMember(payload, "sha256");
        info.sha256 = digest ? normalizedSha256(*digest) : std::string();
        info.sha256Malformed = info.sha256.empty();
    }
    return info;
}

std::string normalizedSha256(const std::string& text) {
    if (text.size() != 64) {
        return {};
    }
    std::string digest;
    for (char c : text) {
        char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return {};
        }
        digest += lower;
    }
    return digest;
}

}  // namespace backend
