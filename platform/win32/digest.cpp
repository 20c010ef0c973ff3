// SHA-256 through the system's cryptography (CNG), which uses the
// processor's SHA instructions where it has them.
#include <windows.h>
// After windows.h, which it relies on.
#include <bcrypt.h>

#include <vector>

#include "platform/platform.h"

namespace platform {

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> object;
    bool failed = false;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    DWORD objectSize = 0;
    DWORD written = 0;
    s.failed =
        BCryptOpenAlgorithmProvider(&s.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptGetProperty(s.algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectSize),
                          sizeof objectSize, &written, 0) != 0;
    if (!s.failed) {
        s.object.resize(objectSize);
        s.failed =
            BCryptCreateHash(s.algorithm, &s.hash, s.object.data(), objectSize, nullptr, 0, 0) != 0;
    }
}

Sha256::~Sha256() {
    if (m_state->hash != nullptr) {
        BCryptDestroyHash(m_state->hash);
    }
    if (m_state->algorithm != nullptr) {
        BCryptCloseAlgorithmProvider(m_state->algorithm, 0);
    }
}

void Sha256::add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const UCHAR*>(data);
    while (!m_state->failed && size > 0) {
        ULONG piece = static_cast<ULONG>(size > 0x40000000u ? 0x40000000u : size);
        m_state->failed = BCryptHashData(m_state->hash, const_cast<PUCHAR>(bytes), piece, 0) != 0;
        bytes += piece;
        size -= piece;
    }
}

std::string Sha256::hex() {
    UCHAR digest[32];
    if (m_state->failed || BCryptFinishHash(m_state->hash, digest, sizeof digest, 0) != 0) {
        m_state->failed = true;
        return {};
    }
    m_state->failed = true;  // finished: no more input
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (UCHAR byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

}  // namespace platform
