#include "server/package_facts.h"

#include <sodium.h>

#include <array>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "server/event_store.h"

namespace server {
namespace {

using Digest = std::array<unsigned char, crypto_hash_sha256_BYTES>;

// A minisign signature line: algorithm (2 bytes), key id (8), signature (64).
constexpr std::size_t kSignatureLineBytes = 2 + 8 + 64;
constexpr std::size_t kSignatureOffset = 2 + 8;
constexpr std::size_t kGlobalSignatureBytes = 64;

std::string hexOf(const unsigned char* bytes, std::size_t size) {
    std::vector<char> text(2 * size + 1);
    return sodium_bin2hex(text.data(), text.size(), bytes, size);
}

std::string base64Of(const unsigned char* bytes, std::size_t size) {
    std::vector<char> text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL));
    return sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
}

bool sha256OfFile(const std::string& path, Digest& digest) {
    std::ifstream file(path, std::ios::binary);
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    std::vector<char> chunk(256 * 1024);
    while (file) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(chunk.data()),
                                  static_cast<unsigned long long>(file.gcount()));
    }
    crypto_hash_sha256_final(&state, digest.data());
    return file.eof() && !file.bad();
}

// "Sun, 06 Nov 1994 08:49:37 GMT" for seconds since 1970 (UTC).
std::string httpDate(std::int64_t seconds) {
    static const char* const kWeekdays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string iso = isoUtcTimestamp(seconds * 1000);  // 1994-11-06T08:49:37.000Z
    std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    int month = (iso[5] - '0') * 10 + (iso[6] - '0');
    return std::string(kWeekdays[(days % 7 + 7) % 7]) + ", " + iso.substr(8, 2) + " " +
           kMonths[month - 1] + " " + iso.substr(0, 4) + " " + iso.substr(11, 8) + " GMT";
}

// The file's modification time on the system clock, in whole seconds.  The
// file clock has no conversion in C++17; both clocks are read side by side.
std::int64_t secondsSinceEpoch(std::filesystem::file_time_type modified) {
    auto age = std::filesystem::file_time_type::clock::now() - modified;
    auto when = std::chrono::system_clock::now() -
                std::chrono::duration_cast<std::chrono::system_clock::duration>(age);
    return std::chrono::floor<std::chrono::seconds>(when.time_since_epoch()).count();
}

// A signature that is well-formed but does not verify: the given one with a
// bit of its signature flipped, or a fixed one made of zeros.
bool spoilSignature(std::string& signature, std::string& error) {
    std::array<unsigned char, kSignatureLineBytes> line{'E', 'D'};
    if (signature.empty()) {
        std::array<unsigned char, kGlobalSignatureBytes> global{};
        signature = "untrusted comment: hobnar-backend --wrong-signature\n" +
                    base64Of(line.data(), line.size()) +
                    "\ntrusted comment: timestamp:0\tfile:win-ia32-unpacked.rar\thashed\n" +
                    base64Of(global.data(), global.size()) + "\n";
        return true;
    }
    std::size_t begin = signature.find('\n');
    std::size_t end = begin == std::string::npos ? begin : signature.find('\n', begin + 1);
    std::size_t decoded = 0;
    if (end == std::string::npos ||
        sodium_base642bin(line.data(), line.size(), signature.data() + begin + 1, end - begin - 1,
                          "\r", &decoded, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        decoded != line.size()) {
        error = "the --signature file is not a minisign signature";
        return false;
    }
    line[kSignatureOffset] ^= 0x01;
    signature.replace(begin + 1, end - begin - 1, base64Of(line.data(), line.size()));
    return true;
}

bool readWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    if (!(bytes << file.rdbuf())) {
        return false;
    }
    text = bytes.str();
    return true;
}

bool readSignature(const ServerOptions& o, PackageFacts& facts, std::string& error) {
    std::string signature;
    if (!o.signaturePath.empty() && !readWholeFile(o.signaturePath, signature)) {
        error = "signature file '" + o.signaturePath + "' cannot be read";
        return false;
    }
    if (o.wrongSignature && !spoilSignature(signature, error)) {
        error = "'" + o.signaturePath + "': " + error;
        return false;
    }
    if (!signature.empty()) {
        facts.signature = signature;
    }
    return true;
}

// What install-info.json says must be true of the package beside it: a
// release folder whose parts do not fit is refused, never served.
std::string installInfoMismatch(const nlohmann::json& info, const PackageFacts& facts,
                                const std::string& digest) {
    auto text = [&info](const char* key) {
        auto found = info.find(key);
        return found != info.end() && found->is_string() ? found->get<std::string>() : "";
    };
    std::string url = text("url");
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
        return "its \"url\" is not an http(s) address";
    }
    if (text("version").empty()) {
        return "it has no \"version\"";
    }
    if (text("size") != std::to_string(facts.size)) {
        return "its \"size\" is not the package's, " + std::to_string(facts.size) + " bytes";
    }
    if (text("sha256") != digest) {
        return "its \"sha256\" is not the package's, " + digest;
    }
    return "";
}

bool readInstallInfo(const ServerOptions& o, const std::string& digest, PackageFacts& facts,
                     std::string& error) {
    if (o.installInfoPath.empty()) {
        return true;
    }
    std::string text;
    if (!readWholeFile(o.installInfoPath, text)) {
        error = "install information '" + o.installInfoPath + "' cannot be read";
        return false;
    }
    nlohmann::json info = nlohmann::json::parse(text, nullptr, false);
    std::string mismatch =
        !info.is_object() ? "it is not a JSON object" : installInfoMismatch(info, facts, digest);
    if (!mismatch.empty()) {
        error = "install information '" + o.installInfoPath + "' does not fit: " + mismatch;
        return false;
    }
    facts.installInfo = info.dump();
    return true;
}

}  // namespace

bool loadPackageFacts(const ServerOptions& options, PackageFacts& facts, std::string& error) {
    std::error_code sizeError;
    std::error_code timeError;
    facts.size = std::filesystem::file_size(options.packagePath, sizeError);
    facts.modified = std::filesystem::last_write_time(options.packagePath, timeError);
    Digest digest{};
    if (sodium_init() < 0 || sizeError || timeError || !sha256OfFile(options.packagePath, digest)) {
        error = "package file '" + options.packagePath + "' cannot be read";
        return false;
    }
    facts.etag = "\"" + hexOf(digest.data(), 16) + "\"";
    std::int64_t modified = secondsSinceEpoch(facts.modified);
    facts.lastModified = httpDate(modified);
    facts.lastModifiedIsStrong = modified < std::chrono::floor<std::chrono::seconds>(
                                                std::chrono::system_clock::now().time_since_epoch())
                                                .count();
    if (!readInstallInfo(options, hexOf(digest.data(), digest.size()), facts, error)) {
        return false;
    }
    if (options.wrongDigest) {
        digest[0] ^= 0xFF;
    }
    if (!options.noDigest) {
        facts.announcedSha256 = hexOf(digest.data(), digest.size());
    }
    return readSignature(options, facts, error);
}

bool packageUnchanged(const PackageFacts& facts, const std::string& path) {
    std::error_code sizeError;
    std::error_code timeError;
    std::uintmax_t size = std::filesystem::file_size(path, sizeError);
    std::filesystem::file_time_type modified = std::filesystem::last_write_time(path, timeError);
    return !sizeError && !timeError && size == facts.size && modified == facts.modified;
}

}  // namespace server
