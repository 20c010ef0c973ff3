// The two blocking HTTP operations.  Every request gets its own easy handle
// and header list, released before returning.
#include <curl/curl.h>

#include <iostream>

#include "backend/backend.h"
#include "platform/platform.h"

namespace backend {
namespace {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kTotalTimeoutSeconds = 20;

// The promotion id comes from the command line; control bytes in it would let
// it forge further header lines, so they never reach the wire.
std::string promoteIdHeader(const std::string& promoteId) {
    std::string header = "promoteid:";
    for (char c : promoteId) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            header += c;
        }
    }
    return header;
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

}  // namespace

size_t appendToString(char* data, size_t size, size_t count, void* buffer) {
    static_cast<std::string*>(buffer)->append(data, size * count);
    return size * count;
}

std::string postJson(const std::string& promoteId, const std::string& url,
                     const std::string& body) {
    std::string result;
    Transfer transfer;
    CURL* curl = transfer.handle();
    if (!curl) {
        return result;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    transfer.addHeader(promoteIdHeader(promoteId));
    transfer.addHeader("Content-Type:application/json;charset=utf-8");
    transfer.useHeaders();
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToString);
    // A backend that accepts and never answers must not hold the window
    // thread for ever: the same bounds as a GET.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTotalTimeoutSeconds);
    CURLcode res = curl_easy_perform(curl);
    if (res != CURLE_OK) {
        std::cerr << "curl_easy_perform() failed: " << curl_easy_strerror(res) << "\n";
    }
    platform::debugLog("res data:" + result);
    return result;
}

std::string httpGet(const std::string& promoteId, const std::string& url) {
    std::string reply;
    Transfer transfer;
    CURL* curl = transfer.handle();
    if (!curl) {
        platform::debugLog("init curl failed!");
        return {};
    }
    transfer.addHeader(promoteIdHeader(promoteId));
    transfer.useHeaders();
    std::cout << "serverUrl:" << url << std::endl;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HEADER, 0L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTotalTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToString);
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
    platform::debugLog("get app size finished ");
    return reply;
}

}  // namespace backend
