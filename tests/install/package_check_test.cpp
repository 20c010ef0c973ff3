// Package checks against what minisign itself makes: signatures of real
// files with real keys, altered the ways an attacker could.
#include "install/package_check.h"
#include "tests/support/child_process.h"
#include "tests/support/test_env.h"

using namespace install;
using testsupport::hostPath;
using testsupport::readFile;
using testsupport::runTool;

namespace {

std::string secondLine(const std::string& text) {
    size_t start = text.find('\n') + 1;
    return text.substr(start, text.find('\n', start) - start);
}

std::array<unsigned char, 64> prehashOf(const std::string& bytes, size_t piece) {
    PackageHashes hashes(true, true);
    for (size_t at = 0; at < bytes.size(); at += piece) {
        hashes.add(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    return hashes.prehash();
}

TEST(PackageHashes, Sha256WhileTheBytesArriveAndAfterARestart) {
    PackageHashes hashes(true, false);
    hashes.add("stale bytes", 11);
    hashes.restart();
    hashes.add("ab", 2);
    hashes.add("c", 1);
    EXPECT_EQ(hashes.sha256Hex(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

using Minisign = testsupport::IsolatedTest;

TEST_F(Minisign, OnlyOurKeysSignatureOfTheseBytesVerifies) {
    std::string file = env.root + "/package.rar";
    std::string bytes = testsupport::randomBytes(300000, 7);
    testsupport::writeFile(file, bytes);
    // Key pairs without a password, and signatures of `file`, by minisign.
    auto makeKey = [](const std::string& name) {
        EXPECT_EQ(runTool({"minisign", "-G", "-W", "-p", hostPath(name + ".pub"), "-s",
                           hostPath(name + ".key")})
                      .exitCode,
                  0);
        return secondLine(readFile(name + ".pub"));
    };
    auto sign = [&file](const std::string& key, std::vector<std::string> argv) {
        argv.insert(argv.begin(),
                    {"minisign", "-S", "-s", hostPath(key + ".key"), "-m", hostPath(file)});
        EXPECT_EQ(runTool(argv).exitCode, 0);
        return readFile(file + ".minisig");
    };
    std::string ours = makeKey(env.root + "/ours");
    std::string good = sign(env.root + "/ours", {"-t", "release\tversion:2.0.1 stable"});
    std::string older = sign(env.root + "/ours", {"-t", "version:2.0.0"});
    std::string legacy = sign(env.root + "/ours", {"-l"});
    makeKey(env.root + "/theirs");
    std::string other = sign(env.root + "/theirs", {});
    std::array<unsigned char, 64> hash = prehashOf(bytes, 65536);
    EXPECT_EQ(hash, prehashOf(bytes, 7777)) << "the hash does not depend on the pieces";

    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const struct {
        const char* what;
        std::string key;
        std::string signature;
        SignatureCheck check;
    } rows[] = {
        {"ours", ours, good, SignatureCheck::Valid},
        {"nothing fetched", ours, "", SignatureCheck::Missing},
        {"another key's", ours, other, SignatureCheck::Invalid},
        {"the trusted comment changed", ours, replaced(good, "version:2.0.1", "version:9.9.9"),
         SignatureCheck::Invalid},
        {"ours, for an older version", ours, older, SignatureCheck::OtherVersion},
        {"legacy (not prehashed)", ours, legacy, SignatureCheck::Malformed},
        {"an error page", ours, "<html>404</html>\n", SignatureCheck::Malformed},
        {"a truncated signature line", ours, replaced(good, secondLine(good), "RUQ="),
         SignatureCheck::Malformed},
        {"our key garbled", "RWQ!!", good, SignatureCheck::Malformed},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(verifyMinisign(row.key, row.signature, hash, "2.0.1"), row.check) << row.what;
    }
    bytes[12345] ^= 1;
    EXPECT_EQ(verifyMinisign(ours, good, prehashOf(bytes, 65536), "2.0.1"), SignatureCheck::Invalid)
        << "one bit of the package changed";
}

// The version is a token of its own in the trusted comment.
TEST(TrustedComment, NamesTheVersionAsATokenOfItsOwn) {
    const std::pair<const char*, bool> rows[] = {
        {"version:2.0.1", true},       {"timestamp:1 file:p.rar version:2.0.1", true},
        {"a\tversion:2.0.1\tb", true}, {"version:2.0.10", false},
        {"version: 2.0.1", false},     {"version:2.0.1x", false},
        {"myversion:2.0.1", false},    {"", false},
    };
    for (const auto& [comment, named] : rows) {
        EXPECT_EQ(namesVersion(comment, "2.0.1"), named) << comment;
    }
}

}  // namespace
