// The context's side of the backend client: every request reports the
// context's facts and carries its promotion id; the queued ones leave
// through the sender in the order they were made.
#include <cstdlib>
#include <memory>
#include <utility>

#include "backend/backend.h"
#include "backend/sender.h"
#include "backend/version.h"
#include "context/installer_context.h"
#include "platform/platform.h"

namespace context {
namespace {

backend::ClientFacts factsOf(const InstallerContext& context) {
    return {context.channel, context.apkId, context.version, context.pcId, context.systemVersion};
}

// A promise that is kept whatever happens to the request: one the sender
// dropped unsent gives its waiter `fallback` instead of leaving it waiting.
template <typename T>
class KeptPromise {
  public:
    explicit KeptPromise(T fallback) : m_fallback(std::move(fallback)) {}
    ~KeptPromise() {
        if (!m_kept) {
            m_promise.set_value(std::move(m_fallback));
        }
    }
    KeptPromise(const KeptPromise&) = delete;
    KeptPromise& operator=(const KeptPromise&) = delete;
    std::future<T> future() { return m_promise.get_future(); }
    void keep(T value) {
        m_promise.set_value(std::move(value));
        m_kept = true;
    }

  private:
    std::promise<T> m_promise;
    T m_fallback;
    bool m_kept = false;
};

}  // namespace

std::string InstallerContext::postJson(std::string url, std::string body) {
    return backend::postJson(promoteId, url, body, m_sender->abandonFlag());
}

std::string InstallerContext::httpGet(std::string url) {
    return backend::httpGet(promoteId, url, m_sender->abandonFlag());
}

std::string InstallerContext::buildEventBody(int type, const std::string& btnId) const {
    return backend::buildEventBody(factsOf(*this), type, btnId);
}

void InstallerContext::reportEvent(int type, const std::string& btnId) {
    m_sender->post([this, type, btnId] {
        postJson(apiBaseUrl + "/v1/app/operationLog/saveLog", buildEventBody(type, btnId));
    });
}

std::string InstallerContext::buildQueryString() const {
    return backend::buildQueryString(factsOf(*this));
}

std::string InstallerContext::getSize() {
    if (!packageSizeText.empty()) {
        return packageSizeText;
    }
    return backend::sizeFromReply(
        httpGet(apiBaseUrl + "/v1/app/client/getSize" + buildQueryString()));
}

std::string InstallerContext::getApkChannel() {
    return backend::channelFromReply(
        httpGet(apiBaseUrl + "/v1/app/client/getApkChannel" + buildQueryString()));
}

void InstallerContext::getInstallInfo() {
    std::optional<backend::InstallInfo> info = backend::installInfoFromReply(
        httpGet(apiBaseUrl + "/v1/app/client/getInstallInfo" + buildQueryString()));
    if (!info) {
        return;
    }
    packageUrl = info->url;
    version = info->version;
    packageSizeText = backend::formatSize(info->size);
    packageSizeBytes = std::strtoll(info->size.c_str(), nullptr, 10);
    packageSha256 = info->sha256;
    packageSha256Malformed = info->sha256Malformed;
    if (info->sha256Malformed) {
        platform::debugLog("the announced package digest is malformed; nothing will be installed");
    }
}

void InstallerContext::requestSize(std::function<void(const std::string&)> deliver) {
    m_sender->post([this, deliver = std::move(deliver)] { deliver(getSize()); });
}

std::string InstallerContext::fetchText(const std::string& url, install::Deadline deadline) {
    auto reply = std::make_shared<KeptPromise<std::string>>(std::string());
    std::shared_future<std::string> body = reply->future().share();
    m_sender->post([this, url, reply] { reply->keep(httpGet(url)); });
    return install::readyBy(body, deadline) ? body.get() : std::string();
}

bool InstallerContext::finishRequests(install::Deadline deadline) {
    return m_sender->drain(deadline);
}

install::PackageFacts InstallerContext::packageFacts() const {
    // Only a successful install-information query fills the size text.
    return {packageUrl, packageSizeBytes,         packageSha256,
            version,    !packageSizeText.empty(), packageSha256Malformed};
}

std::shared_future<install::PackageFacts> InstallerContext::announcedPackage() {
    return m_announced ? *m_announced : install::knownPackage(packageFacts());
}

// The channel query reports the version the install information brought, so
// it goes after it; both record what they learnt before the next request.
void InstallerContext::queueLaunchQueries() {
    auto announced = std::make_shared<KeptPromise<install::PackageFacts>>(packageFacts());
    m_announced = announced->future().share();
    m_sender->post([this, announced] {
        getInstallInfo();
        platform::writeRegistryString(registryKeyPath, "version", version);
        announced->keep(packageFacts());
    });
    m_sender->post([this] {
        channel = getApkChannel();
        platform::writeRegistryString(registryKeyPath, "channel", channel);
        platform::writeRegistryString(registryKeyPath, "logOpen", logOpen);
        writeParamData();
    });
}

install::InstallPlan planFor(InstallerContext& context, const std::string& productFolder) {
    install::InstallPlan plan;
    plan.productFolder = productFolder;
    plan.registryKey = context.registryKeyPath;
    plan.publicKey = context.signingKey;
    plan.deliveredVersion = backend::kDeliveredVersion;
    plan.package = context.announcedPackage();
    return plan;
}

}  // namespace context
