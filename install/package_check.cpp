#include "install/package_check.h"

#include <sodium.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace install {

struct PackageHashes::Blake2b {
    crypto_generichash_state state;
};

// Feeds chunks to one hash on a thread of its own.  Without a thread (none
// could be started) it hashes on the caller's.
class PackageHashes::Worker {
  public:
    using Chunk = std::shared_ptr<const std::string>;
    explicit Worker(std::function<void(const Chunk&)> hash) : m_hash(std::move(hash)) {
        try {
            m_thread = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            m_inline = true;
        }
    }
    ~Worker() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void push(const Chunk& chunk) {
        if (m_inline) {
            m_hash(chunk);
            return;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_waiting.size() < kMaxWaiting; });
        m_waiting.push_back(chunk);
        m_changed.notify_all();
    }
    // Returns once every chunk pushed so far is hashed.
    void drain() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_waiting.empty() && !m_hashing; });
    }

  private:
    // Bounds the memory a slow hash can hold: a few chunks per hash.
    static constexpr std::size_t kMaxWaiting = 4;

    void work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            if (m_waiting.empty()) {
                return;
            }
            Chunk chunk = m_waiting.front();
            m_waiting.pop_front();
            m_hashing = true;
            m_changed.notify_all();
            lock.unlock();
            m_hash(chunk);
            lock.lock();
            m_hashing = false;
            m_changed.notify_all();
        }
    }

    std::function<void(const Chunk&)> m_hash;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Chunk> m_waiting;
    bool m_hashing = false;
    bool m_stopping = false;
    bool m_inline = false;
    std::thread m_thread;
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
    std::vector<std::string> lines = platform::linesOf(text);
    lines.resize(std::max<size_t>(lines.size(), 4));
    std::string untrusted = lines[0], signature = lines[1], trusted = lines[2], global = lines[3];
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
    startHashes();
}

// The workers are members declared after the hash states, so they are
// joined before the states they feed go away.
PackageHashes::~PackageHashes() = default;

void PackageHashes::startHashes() {
    m_sha256Worker.reset();
    m_blake2bWorker.reset();
    m_pending.clear();
    m_sha256 = m_wantSha256 ? std::make_unique<platform::Sha256>() : nullptr;
    m_blake2b = m_wantPrehash && sodiumReady() ? std::make_unique<Blake2b>() : nullptr;
    if (m_sha256) {
        platform::Sha256* sha256 = m_sha256.get();
        m_sha256Worker = std::make_unique<Worker>(
            [sha256](const Worker::Chunk& chunk) { sha256->add(chunk->data(), chunk->size()); });
    }
    if (m_blake2b) {
        startBlake2b(m_blake2b->state);
        Blake2b* blake2b = m_blake2b.get();
        m_blake2bWorker = std::make_unique<Worker>([blake2b](const Worker::Chunk& chunk) {
            crypto_generichash_update(&blake2b->state,
                                      reinterpret_cast<const unsigned char*>(chunk->data()),
                                      chunk->size());
        });
    }
}

void PackageHashes::restart() {
    startHashes();
}

// Called from libcurl's write callback: nothing may be thrown from here.
// Without memory for a chunk, the workers finish what they have and these
// bytes are hashed on the caller's thread, in order.
void PackageHashes::add(const void* data, std::size_t size) {
    if (!m_sha256 && !m_blake2b) {
        return;
    }
    try {
        if (m_pending.capacity() < kChunkBytes) {
            m_pending.reserve(kChunkBytes);
        }
        m_pending.append(static_cast<const char*>(data), size);
        if (m_pending.size() >= kChunkBytes) {
            handOver();
        }
    } catch (...) {
        drainWorkers();
        hashHere(m_pending.data(), m_pending.size());
        m_pending.clear();
        hashHere(data, size);
    }
}

void PackageHashes::handOver() {
    if (m_pending.empty()) {
        return;
    }
    auto chunk = std::make_shared<const std::string>(std::move(m_pending));
    m_pending = std::string();
    if (m_sha256Worker) {
        m_sha256Worker->push(chunk);
    }
    if (m_blake2bWorker) {
        m_blake2bWorker->push(chunk);
    }
}

void PackageHashes::drainWorkers() {
    if (m_sha256Worker) {
        m_sha256Worker->drain();
    }
    if (m_blake2bWorker) {
        m_blake2bWorker->drain();
    }
}

void PackageHashes::hashHere(const void* data, std::size_t size) {
    if (m_sha256) {
        m_sha256->add(data, size);
    }
    if (m_blake2b) {
        crypto_generichash_update(&m_blake2b->state, static_cast<const unsigned char*>(data), size);
    }
}

void PackageHashes::finish() {
    try {
        handOver();
    } catch (...) {
        drainWorkers();
        hashHere(m_pending.data(), m_pending.size());
        m_pending.clear();
    }
    drainWorkers();
}

std::string PackageHashes::sha256Hex() {
    finish();
    return m_sha256 ? m_sha256->hex() : std::string();
}

std::array<unsigned char, 64> PackageHashes::prehash() {
    finish();
    std::array<unsigned char, 64> hash{};
    if (m_blake2b) {
        crypto_generichash_final(&m_blake2b->state, hash.data(), hash.size());
    }
    return hash;
}

bool namesVersion(const std::string& trustedComment, const std::string& version) {
    const std::string wanted = "version:" + version;
    size_t start = 0;
    while (start <= trustedComment.size()) {
        size_t end = trustedComment.find_first_of(" \t", start);
        if (end == std::string::npos) {
            end = trustedComment.size();
        }
        if (trustedComment.compare(start, end - start, wanted) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

SignatureCheck verifyMinisign(const std::string& publicKey, const std::string& signatureText,
                              const std::array<unsigned char, 64>& prehash,
                              const std::string& version) {
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
    if (crypto_sign_verify_detached(file.globalSignature.data(), signedComment.data(),
                                    signedComment.size(), publicBytes) != 0) {
        return SignatureCheck::Invalid;
    }
    return namesVersion(file.trustedComment, version) ? SignatureCheck::Valid
                                                      : SignatureCheck::OtherVersion;
}

}  // namespace install
