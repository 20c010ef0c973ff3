// Backend client: the blocking HTTP operations, the operation-log event body
// and the client information queries.
//
// Contract:
// - Every function runs on the calling thread and blocks for the whole HTTP
//   exchange (at most 10 s to connect, 20 s in all).  Calls share no state:
//   each owns its transfer handle, header list and reply buffer, so any
//   thread may call at any time once curl_global_init has run.
// - Results are values: an empty string means no answer.  Nothing throws, and
//   no exception from the JSON library escapes.
// - Knows nothing of the installer context: the caller passes the facts every
//   request reports.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

namespace backend {

// What every event body and query string reports about this installation.
struct ClientFacts {
    std::string channel;
    std::string apkId;
    std::string version;  // empty: the delivered version (kDeliveredVersion) is reported
    std::string pcId;
    std::string systemVersion;
};

struct ChannelInfo {
    std::string promoteId;
    std::string apkChannel;
};

struct InstallInfo {
    std::string size;
    std::string url;
    std::string version;
    // The package's SHA-256 as 64 lower-case hex digits; empty when the reply
    // announced none, or announced something that is no such digest
    // (sha256Malformed then tells which).
    std::string sha256;
    bool sha256Malformed = false;
};

// ---- Transport ---------------------------------------------------------------
// The HTTP library's one global initialisation (curl_global_init with all
// flags), made once by the program's first thread before any request; the
// library's result code, 0 on success.
int initializeHttp();

// POSTs a JSON body with the "promoteid:" and JSON content-type headers; does
// not follow redirects.  Returns whatever reply body arrived, any status (at
// most kMaxReplyBytes of it).  Only http and https are spoken.  A request
// whose `abandon` flag is set ends within about a second, with what came.
std::string postJson(const std::string& promoteId, const std::string& url, const std::string& body,
                     const std::atomic<bool>* abandon = nullptr);
// GETs a URL with the "promoteid:" header, following up to ten redirects
// over http and https.  The body when the final status is 200 or 201 (also
// when the transfer broke off later), else an empty string; a body larger
// than kMaxReplyBytes is refused (empty).  `abandon` as for postJson.
std::string httpGet(const std::string& promoteId, const std::string& url,
                    const std::atomic<bool>* abandon = nullptr);
// Replies are small documents; anything larger is refused unread.
constexpr size_t kMaxReplyBytes = 64 * 1024;
// A reply as it arrives, never longer than kMaxReplyBytes.
struct CappedReply {
    std::string text;
    bool overflowed = false;  // more came: the transfer was ended
};
// libcurl write callback: appends to the CappedReply at `buffer`; ends the
// transfer (answers 0) once the reply would grow past its cap.
size_t appendToString(char* data, size_t size, size_t count, void* buffer);

// ---- Operation-log events ----------------------------------------------------
// The compact, key-sorted JSON body of one event.  Bytes that are not UTF-8
// are replaced, never fatal.
std::string buildEventBody(const ClientFacts& facts, int type, const std::string& btnId);

// ---- Client information queries ----------------------------------------------
// "?apkChannel=...&apkId=...&...&userAgent=MicrosoftWindows".  Values go in
// verbatim unless they hold a byte that would break the URL (blank, & # % +,
// control or non-ASCII bytes), which is percent-encoded.
std::string buildQueryString(const ClientFacts& facts);
// "350.00MB" / "1.50GB" from a decimal byte count (leading digits only).
std::string formatSize(std::string text);

// Reading the replies.  Each maps every malformed reply (not JSON, wrong member
// types, missing members, larger than kMaxReplyBytes, nested deeper than a
// reply ever is) onto the outcome of an unsuccessful one.
// Size text from a getSize reply, or empty.
std::string sizeFromReply(const std::string& reply);
// Channel from a getApkChannel reply: empty for an empty reply, "guanwang"
// when unsuccessful or the channel is empty.
std::string channelFromReply(const std::string& reply);
// Install information from a getInstallInfo reply, or nullopt.
std::optional<InstallInfo> installInfoFromReply(const std::string& reply);
// The digest in lower case when `text` is 64 hexadecimal digits, else empty.
std::string normalizedSha256(const std::string& text);

}  // namespace backend
