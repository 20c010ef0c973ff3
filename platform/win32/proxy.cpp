// The proxy of the user's Windows settings, through WinHTTP: a fixed proxy
// with its bypass list, or a PAC script (given or found by automatic
// detection) asked once per scheme, host and port.
#include <windows.h>
// After windows.h, which it relies on.
#include <winhttp.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

struct ProxySettings {
    bool autoDetect = false;
    std::string pacUrl;
    std::string proxy;   // Windows' list form: "host:port" or "http=...;https=..."
    std::string bypass;  // semicolon-separated
};

std::string takeString(LPWSTR text) {
    if (text == nullptr) {
        return {};
    }
    std::string value = win32::utf8(std::wstring(text));
    GlobalFree(text);
    return value;
}

ProxySettings readUserSettings() {
    ProxySettings settings;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        return settings;
    }
    settings.autoDetect = config.fAutoDetect != FALSE;
    settings.pacUrl = takeString(config.lpszAutoConfigUrl);
    settings.proxy = takeString(config.lpszProxy);
    settings.bypass = takeString(config.lpszProxyBypass);
    return settings;
}

// libcurl reads these itself, and when one is set it is what the user
// (or a deployment tool) chose for this run.
bool environmentNamesAProxy() {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return true;
        }
    }
    return false;
}

ProxyChoice fixedProxyFor(const ProxySettings& settings, const std::string& url) {
    if (settings.proxy.empty() || bypassesProxy(settings.bypass, url)) {
        return {true, ""};
    }
    return {true, proxyForScheme(settings.proxy, urlPartsOf(url).scheme)};
}

// The PAC script's answer; nullopt when there is no script to be had (then
// the fixed settings apply, as Windows does).
std::optional<ProxyChoice> scriptedProxyFor(const ProxySettings& settings, const std::string& url) {
    static HINTERNET session = WinHttpOpen(L"hobnar-setup", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr) {
        return std::nullopt;
    }
    WINHTTP_AUTOPROXY_OPTIONS options{};
    std::wstring pacUrl = win32::wide(settings.pacUrl);
    if (!settings.pacUrl.empty()) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = pacUrl.c_str();
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    if (!WinHttpGetProxyForUrl(session, win32::wide(url).c_str(), &options, &info)) {
        return std::nullopt;
    }
    std::string proxy = takeString(info.lpszProxy);
    std::string bypass = takeString(info.lpszProxyBypass);
    if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || proxy.empty() ||
        bypassesProxy(bypass, url)) {
        return ProxyChoice{true, ""};
    }
    return ProxyChoice{true, proxyForScheme(proxy, urlPartsOf(url).scheme)};
}

}  // namespace

ProxyChoice systemProxyFor(const std::string& url) {
    if (environmentNamesAProxy()) {
        return {};
    }
    static std::mutex lock;
    static std::map<std::string, ProxyChoice> answers;
    static const ProxySettings settings = readUserSettings();
    UrlParts parts = urlPartsOf(url);
    std::string key = parts.scheme + "://" + parts.host + ":" + std::to_string(parts.port);
    std::lock_guard<std::mutex> guard(lock);
    auto known = answers.find(key);
    if (known != answers.end()) {
        return known->second;
    }
    std::optional<ProxyChoice> choice;
    if (settings.autoDetect || !settings.pacUrl.empty()) {
        choice = scriptedProxyFor(settings, url);
    }
    ProxyChoice answer = choice ? *choice : fixedProxyFor(settings, url);
    if (!answer.proxy.empty()) {
        debugLog("proxy for " + key + ": " + answer.proxy);
    }
    answers.emplace(key, answer);
    return answer;
}

}  // namespace platform
