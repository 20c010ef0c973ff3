#include "install/package_check.h"

#include <sodium.h>

#include <cstring>
#include <sstream>
#include <vector>

struct PackageHashes::Blake2b {
    crypto_generichash_state state;
};

namespace {

constexpr std::size_t kPrehashBytes = 64;

bool sodiumReady() {
    // Safe to call from any thread, any number of times.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

void startBlake2b(crypto_generichash_state& state) {
    crypto_generichash_init(&state, nullptr, 0, kPrehashBytes);
}

std::vector<unsigned char> fromBase64(const std::string& text) {
    std::vector<unsigned char> bytes(text.size());
    std::size_t length = 0;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                          nullptr, sodium_base64_VARIANT_ORIGINAL) != 0) {
        return {};
    }
    bytes.resize(length);
    return bytes;
}

// A minisign signature file: an untrusted comment, the signature (algorithm,
// key id, 64 bytes), the trusted comment and the global signature.
struct SignatureFile {
    std::vector<unsigned char> signature;
    std::string trustedComment;
    std::vector<unsigned char> globalSignature;
};

bool readSignatureFile(const std::string& text, SignatureFile& file) {
    std::istringstream lines(text);
    std::string untrusted, signature, trusted, global;
    std::getline(lines, untrusted);
    std::getline(lines, signature);
    std::getline(lines, trusted);
    std::getline(lines, global);
    for (std::string* line : {&untrusted, &signature, &trusted, &global}) {
        if (!line->empty() && line->back() == '\r') {
            line->pop_back();
        }
    }
    const std::string trustedPrefix = "trusted comment: ";
    if (untrusted.rfind("untrusted comment: ", 0) != 0 || trusted.rfind(trustedPrefix, 0) != 0) {
        return false;
    }
    file.signature = fromBase64(signature);
    file.trustedComment = trusted.substr(trustedPrefix.size());
    file.globalSignature = fromBase64(global);
    // "ED" marks a signature of the file's BLAKE2b-512 hash; the legacy
    // "Ed" signs the whole file, which is never held in memory here.
    return file.signature.size() == 2 + 8 + crypto_sign_BYTES && file.signature[0] == 'E' &&
           file.signature[1] == 'D' && file.globalSignature.size() == crypto_sign_BYTES;
}

}  // namespace

PackageHashes::PackageHashes(bool sha256, bool prehash)
    : m_wantSha256(sha256), m_wantPrehash(prehash) {
    restart();
}

PackageHashes::~PackageHashes() = default;

void PackageHashes::restart() {
    m_sha256 = m_wantSha256 ? std::make_unique<platform::Sha256>() : nullptr;
    m_blake2b = m_wantPrehash && sodiumReady() ? std::make_unique<Blake2b>() : nullptr;
    if (m_blake2b) {
        startBlake2b(m_blake2b->state);
    }
}

void PackageHashes::add(const void* data, std::size_t size) {
    if (m_sha256) {
        m_sha256->add(data, size);
    }
    if (m_blake2b) {
        crypto_generichash_update(&m_blake2b->state, static_cast<const unsigned char*>(data), size);
    }
}

std::string PackageHashes::sha256Hex() {
    return m_sha256 ? m_sha256->hex() : std::string();
}

std::array<unsigned char, 64> PackageHashes::prehash() {
    std::array<unsigned char, 64> hash{};
    if (m_blake2b) {
        crypto_generichash_final(&m_blake2b->state, hash.data(), hash.size());
    }
    return hash;
}

SignatureCheck verifyMinisign(const std::string& publicKey, const std::string& signatureText,
                              const std::array<unsigned char, 64>& prehash) {
    if (signatureText.empty()) {
        return SignatureCheck::Missing;
    }
    std::vector<unsigned char> key = fromBase64(publicKey);
    SignatureFile file;
    if (!sodiumReady() || key.size() != 2 + 8 + crypto_sign_PUBLICKEYBYTES || key[0] != 'E' ||
        key[1] != 'd' || !readSignatureFile(signatureText, file)) {
        return SignatureCheck::Malformed;
    }
    const unsigned char* keyId = key.data() + 2;
    const unsigned char* publicBytes = key.data() + 10;
    const unsigned char* signature = file.signature.data() + 10;
    if (std::memcmp(file.signature.data() + 2, keyId, 8) != 0 ||
        crypto_sign_verify_detached(signature, prehash.data(), prehash.size(), publicBytes) != 0) {
        return SignatureCheck::Invalid;
    }
    // The global signature covers the signature and the trusted comment, so
    // the comment cannot be swapped either.
    std::vector<unsigned char> signedComment(signature, signature + crypto_sign_BYTES);
    signedComment.insert(signedComment.end(), file.trustedComment.begin(),
                         file.trustedComment.end());
    return crypto_sign_verify_detached(file.globalSignature.data(), signedComment.data(),
                                       signedComment.size(), publicBytes) == 0
               ? SignatureCheck::Valid
               : SignatureCheck::Invalid;
}
