// The two blocking HTTP operations.  Every request gets its own easy handle
// and header list, released before returning.
#include <curl/curl.h>

#include "backend/backend.h"
#include "backend/curl_limits.h"
#include "platform/platform.h"

namespace backend {
namespace {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kTotalTimeoutSeconds = 20;
constexpr long kMaxRedirects = 10;
// What of a reply goes into the log: enough to recognise it.
constexpr size_t kLoggedReplyBytes = 200;

std::string loggedReply(const std::string& reply) {
    if (reply.size() <= kLoggedReplyBytes) {
        return reply;
    }
    return reply.substr(0, kLoggedReplyBytes) + "... (" + std::to_string(reply.size()) + " bytes)";
}

// The promotion id comes from the command line; control bytes in it would let
// it forge further header lines, so they never reach the wire.
std::string promoteIdHeader(const std::string& promoteId) {
    return "promoteid:" + platform::withoutControlBytes(promoteId);
}

class Transfer {
  public:
    Transfer() : m_handle(curl_easy_init()) {}
    ~Transfer() {
        if (m_handle) {
            curl_easy_cleanup(m_handle);
        }
        curl_slist_free_all(m_headers);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    CURL* handle() const { return m_handle; }
    void addHeader(const std::string& line) {
        m_headers = curl_slist_append(m_headers, line.c_str());
    }
    void useHeaders() { curl_easy_setopt(m_handle, CURLOPT_HTTPHEADER, m_headers); }

  private:
    CURL* m_handle;
    curl_slist* m_headers = nullptr;
};

// libcurl transfer-information callback: a request whose caller gave up
// ends at the next call (about once a second even while nothing arrives).
int endWhenAbandoned(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

// The limits every reply shares: capped, http(s) only, at most 10 s to
// connect and 20 s in all, and ended early once `abandon` is set.
void setReplyLimits(CURL* curl, const std::string& url, CappedReply& reply,
                    const std::atomic<bool>* abandon) {
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToString);
    applyConnectionSettings(curl, url);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTotalTimeoutSeconds);
    if (abandon != nullptr) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, endWhenAbandoned);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abandon));
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
}

}  // namespace

void restrictProtocols(CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
}

void applyConnectionSettings(CURL* curl, const std::string& url) {
    restrictProtocols(curl);
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    platform::ProxyChoice proxy = platform::systemProxyFor(url);
    if (proxy.fromSystem) {
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.proxy.c_str());
    }
}

int initializeHttp() {
    return static_cast<int>(curl_global_init(CURL_GLOBAL_ALL));
}

size_t appendToString(char* data, size_t size, size_t count, void* buffer) {
    auto* reply = static_cast<CappedReply*>(buffer);
    size_t bytes = size * count;
    if (reply->text.size() + bytes > kMaxReplyBytes) {
        reply->overflowed = true;
        return 0;  // ends the transfer
    }
    // libcurl calls from C: nothing may be thrown back through it.
    try {
        reply->text.append(data, bytes);
    } catch (...) {
        reply->overflowed = true;
        return 0;
    }
    return bytes;
}

std::string postJson(const std::string& promoteId, const std::string& url, const std::string& body,
                     const std::atomic<bool>* abandon) {
    CappedReply reply;
    Transfer transfer;
    CURL* curl = transfer.handle();
    if (!curl) {
        return {};
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    transfer.addHeader(promoteIdHeader(promoteId));
    transfer.addHeader("Content-Type:application/json;charset=utf-8");
    transfer.useHeaders();
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    // A backend that accepts and never answers must not hold its caller for
    // ever: the same bounds as a GET.
    setReplyLimits(curl, url, reply, abandon);
    CURLcode res = curl_easy_perform(curl);
    if (res != CURLE_OK) {
        platform::printErrorLine(std::string("curl_easy_perform() failed: ") +
                                 curl_easy_strerror(res));
    }
    platform::debugLog("res data:" + loggedReply(reply.text));
    return reply.text;
}

std::string httpGet(const std::string& promoteId, const std::string& url,
                    const std::atomic<bool>* abandon) {
    CappedReply reply;
    Transfer transfer;
    CURL* curl = transfer.handle();
    if (!curl) {
        platform::debugLog("init curl failed!");
        return {};
    }
    transfer.addHeader(promoteIdHeader(promoteId));
    transfer.useHeaders();
    platform::printLine("serverUrl:" + platform::singleLine(url));
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HEADER, 0L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    setReplyLimits(curl, url, reply, abandon);
    CURLcode res = curl_easy_perform(curl);
    if (res != CURLE_OK) {
        platform::debugLog("curl_easy_perform failed res:" + std::to_string(static_cast<int>(res)));
    }
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
        (status != 200 && status != 201)) {
        platform::debugLog("get app size failed ");
        return {};
    }
    if (reply.overflowed) {
        platform::debugLog("reply larger than " + std::to_string(kMaxReplyBytes) +
                           " bytes refused");
        return {};
    }
    platform::debugLog("get app size finished ");
    return reply.text;
}

}  // namespace backend
