// Reading Windows' proxy settings: which proxy a list names for a scheme,
// and whether a bypass list sends an address around it.  Pure text work.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Entries are separated by semicolons or blanks, as Windows' settings page
// and netsh write them.
std::vector<std::string> entriesOf(const std::string& list) {
    std::vector<std::string> entries;
    std::string entry;
    for (char c : list + ";") {
        if (c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!entry.empty()) {
                entries.push_back(entry);
            }
            entry.clear();
        } else {
            entry += c;
        }
    }
    return entries;
}

int defaultPort(const std::string& scheme) {
    return scheme == "https" ? 443 : scheme == "http" ? 80 : 0;
}

// "*" stands for any run of characters, anywhere in the pattern.
bool wildcardMatch(const std::string& pattern, const std::string& text) {
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string::npos;
    size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool isLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

// One bypass entry, perhaps with a scheme ("http://x") or a port ("x:8080").
bool entryMatches(std::string entry, const UrlParts& url) {
    size_t schemeEnd = entry.find("://");
    if (schemeEnd != std::string::npos) {
        if (entry.substr(0, schemeEnd) != url.scheme) {
            return false;
        }
        entry.erase(0, schemeEnd + 3);
    }
    size_t colon = entry.rfind(':');
    bool hasPort = colon != std::string::npos && entry.find(':') == colon &&
                   entry.find_first_not_of("0123456789", colon + 1) == std::string::npos;
    if (hasPort) {
        return wildcardMatch(entry, url.host + ":" + std::to_string(url.port));
    }
    return wildcardMatch(entry, url.host);
}

}  // namespace

UrlParts urlPartsOf(const std::string& url) {
    UrlParts parts;
    size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) {
        return parts;
    }
    parts.scheme = lowerCase(url.substr(0, schemeEnd));
    size_t start = schemeEnd + 3;
    std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
    size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        parts.host =
            authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos && authority.compare(close + 1, 1, ":") == 0) {
            port = authority.substr(close + 2);
        }
    } else {
        size_t colon = authority.find(':');
        parts.host = authority.substr(0, colon);
        port = colon == std::string::npos ? "" : authority.substr(colon + 1);
    }
    parts.host = lowerCase(parts.host);
    bool digits = !port.empty() && port.size() <= 5 &&
                  port.find_first_not_of("0123456789") == std::string::npos;
    parts.port = digits ? std::stoi(port) : defaultPort(parts.scheme);
    return parts;
}

std::string proxyForScheme(const std::string& list, const std::string& scheme) {
    std::string bare;
    for (const std::string& entry : entriesOf(list)) {
        size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            bare = bare.empty() ? entry : bare;
        } else if (lowerCase(entry.substr(0, equals)) == scheme && equals + 1 < entry.size()) {
            bare = entry.substr(equals + 1);
            break;
        }
    }
    if (bare.empty() || bare.find("://") != std::string::npos) {
        return bare;
    }
    return "http://" + bare;
}

bool bypassesProxy(const std::string& bypassList, const std::string& url) {
    UrlParts parts = urlPartsOf(url);
    std::vector<std::string> entries = entriesOf(lowerCase(bypassList));
    bool loopbackProxied =
        std::find(entries.begin(), entries.end(), "<-loopback>") != entries.end();
    if (!loopbackProxied && isLoopback(parts.host)) {
        return true;
    }
    for (const std::string& entry : entries) {
        if (entry == "<local>" ? parts.host.find_first_of(".:") == std::string::npos
                               : entryMatches(entry, parts)) {
            return true;
        }
    }
    return false;
}

}  // namespace platform
