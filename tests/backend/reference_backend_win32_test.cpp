// The Windows client against the reference backend: hobnar-backend and rar
// are programs of the build machine, started from under Wine through
// hobnar-host-run, and libcurl under Wine reaches the backend on 127.0.0.1.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "backend/backend.h"
#include "tests/support/backend_process.h"
#include "tests/support/test_env.h"

using testsupport::IsolatedTest;

namespace {

size_t appendBody(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// The whole body of a GET (the client's own requests cap their replies).
std::string download(const std::string& url) {
    std::string body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return result == CURLE_OK ? body : std::string();
}

class ReferenceBackend : public IsolatedTest {
  protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
};

TEST_F(ReferenceBackend, StoresTheEventsAndServesThePackageItWasGiven) {
    std::string package = env.root + "\\win-ia32-unpacked.rar";
    ASSERT_TRUE(testsupport::makeRarPackage(package, testsupport::recordingProduct()));
    testsupport::BackendProcess server(env.root, package, 0);
    ASSERT_TRUE(server.ready()) << server.log();

    backend::ClientFacts facts{"huawei", "1", "", "0123abcd", "Windows7"};
    for (const char* event : {"pc_show_install", "pc_click_install"}) {
        EXPECT_NE(backend::postJson("10086", server.url() + "/v1/app/operationLog/saveLog",
                                    backend::buildEventBody(facts, 0, event)),
                  "");
    }
    EXPECT_EQ(server.eventNames(),
              (std::vector<std::string>{"pc_show_install", "pc_click_install"}));

    std::string served = download(server.url() + "/client/win/mainprogram/win-ia32-unpacked.rar");
    EXPECT_EQ(served.size(), testsupport::readFile(package).size());
    EXPECT_TRUE(served == testsupport::readFile(package)) << "the package as rar made it";
}

}  // namespace
