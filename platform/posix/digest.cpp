// SHA-256 through OpenSSL's EVP interface, which picks the fastest code the
// processor allows (SHA extensions, AVX2).
#include <openssl/evp.h>

#include "platform/platform.h"

namespace platform {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool failed = false;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    m_state->context = EVP_MD_CTX_new();
    m_state->failed = m_state->context == nullptr ||
                      EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(m_state->context);
}

void Sha256::add(const void* data, std::size_t size) {
    if (!m_state->failed && EVP_DigestUpdate(m_state->context, data, size) != 1) {
        m_state->failed = true;
    }
}

std::string Sha256::hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (m_state->failed || EVP_DigestFinal_ex(m_state->context, digest, &length) != 1) {
        m_state->failed = true;
        return {};
    }
    m_state->failed = true;  // finished: no more input
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

}  // namespace platform
