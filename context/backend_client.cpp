// The context's side of the backend client: every request reports the
// context's facts and carries its promotion id.
#include <cstdlib>

#include "backend/backend.h"
#include "context/installer_context.h"
#include "platform/platform.h"

namespace {

backend::ClientFacts factsOf(const InstallerContext& context) {
    return {context.channel, context.apkId, context.version, context.pcId, context.systemVersion};
}

}  // namespace

std::string InstallerContext::postJson(std::string url, std::string body) {
    return backend::postJson(promoteId, url, body);
}

std::string InstallerContext::httpGet(std::string url) {
    return backend::httpGet(promoteId, url);
}

std::string InstallerContext::buildEventBody(int type, const std::string& btnId) const {
    return backend::buildEventBody(factsOf(*this), type, btnId);
}

void InstallerContext::reportEvent(int type, std::string btnId) {
    std::string body = buildEventBody(type, btnId);
    postJson(apiBaseUrl + "/v1/app/operationLog/saveLog", body);
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
    if (info->sha256Malformed) {
        platform::debugLog("the announced package digest is malformed; it is not used");
    }
}
