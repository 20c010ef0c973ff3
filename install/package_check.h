// Checking the bytes of a downloaded package: its SHA-256 against the digest
// the install information announced, and its minisign signature (Ed25519 of
// the BLAKE2b-512 hash of the file, as minisign writes it by default)
// against the public key the build carries.  Internal to the install engine;
// any thread, one object per thread.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace install {

// The hashes of the archive, fed with its bytes as they arrive.  Each hash
// runs on a thread of its own in 1 MiB chunks, so hashing overlaps the
// transfer instead of adding to it; add() copies the bytes and waits only
// when a hash falls several chunks behind.  One object is used by one
// thread; sha256Hex() and prehash() wait for every byte added so far.
class PackageHashes {
  public:
    PackageHashes(bool sha256, bool prehash);
    ~PackageHashes();
    PackageHashes(const PackageHashes&) = delete;
    PackageHashes& operator=(const PackageHashes&) = delete;

    void add(const void* data, std::size_t size);
    // The archive started again from nothing.
    void restart();
    // Ends the hashing: the SHA-256 as hex (empty when not asked for) and the
    // BLAKE2b-512 prehash (when asked for).
    std::string sha256Hex();
    std::array<unsigned char, 64> prehash();

  private:
    class Worker;
    struct Blake2b;
    void startHashes();
    void handOver();
    void drainWorkers();
    void hashHere(const void* data, std::size_t size);
    void finish();

    static constexpr std::size_t kChunkBytes = 1024 * 1024;
    std::string m_pending;  // bytes not yet handed to the workers
    bool m_wantSha256;
    bool m_wantPrehash;
    std::unique_ptr<platform::Sha256> m_sha256;
    std::unique_ptr<Blake2b> m_blake2b;
    std::unique_ptr<Worker> m_sha256Worker;
    std::unique_ptr<Worker> m_blake2bWorker;
};

enum class SignatureCheck {
    Valid,
    Missing,       // no signature could be fetched
    Malformed,     // not a minisign signature of the kind we read, or a bad key
    Invalid,       // well formed, but not made by our key over these bytes
    OtherVersion,  // ours and intact, but its trusted comment names no `version`
};

// Verifies a minisign signature file's text for the file whose BLAKE2b-512
// hash is `prehash`, with the public key in minisign's base64 form (the
// second line of a minisign.pub).  Both the signature and the global
// signature over the trusted comment must hold, and the trusted comment
// must carry the token "version:" + `version` (tokens are separated by
// blanks or tabs, like minisign's own "timestamp:" and "file:"), so that a
// package signed for another version cannot be handed out for this one.  An
// empty text is Missing.
SignatureCheck verifyMinisign(const std::string& publicKey, const std::string& signatureText,
                              const std::array<unsigned char, 64>& prehash,
                              const std::string& version);

// Whether a trusted comment carries the token "version:" + `version`.
bool namesVersion(const std::string& trustedComment, const std::string& version);

}  // namespace install
