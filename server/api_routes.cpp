#include "server/api_routes.h"

#include <httplib.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>

#include "server/server_context.h"

namespace server {
namespace {

using nlohmann::json;

const char* const kJsonType = "application/json;charset=utf-8";

void answerOk(httplib::Response& res, const json& obj) {
    json reply = {{"success", "1"}, {"obj", obj}};
    res.set_content(reply.dump(-1, ' ', false, json::error_handler_t::replace), kJsonType);
}

void answerFailure(httplib::Response& res, int status, const std::string& message) {
    json reply = {{"success", "0"}, {"obj", nullptr}, {"msg", message}};
    res.status = status;
    res.set_content(reply.dump(-1, ' ', false, json::error_handler_t::replace), kJsonType);
}

std::optional<std::string> packageSizeText(const ServerContext& ctx) {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(ctx.options.packagePath, ec);
    if (ec) {
        return std::nullopt;
    }
    return std::to_string(size);
}

// The package address as this client reached us: the Host header names the
// host and port it used, which may differ from the address we bound.
std::string ownPackageUrl(const httplib::Request& req, const ServerContext& ctx) {
    std::string host = req.get_header_value("Host");
    if (host.empty()) {
        host = ctx.options.host + ":" + std::to_string(ctx.boundPort);
    }
    return "http://" + host + kPackagePath;
}

void handleInstallInfo(const httplib::Request& req, httplib::Response& res, ServerContext& ctx) {
    std::optional<std::string> size = packageSizeText(ctx);
    if (!size) {
        answerFailure(res, 500, "package file unavailable");
        return;
    }
    std::string url =
        ctx.options.packageUrl.empty() ? ownPackageUrl(req, ctx) : ctx.options.packageUrl;
    answerOk(res, {{"size", *size}, {"url", url}, {"version", ctx.options.version}});
}

void handleSize(httplib::Response& res, ServerContext& ctx) {
    std::optional<std::string> size = packageSizeText(ctx);
    if (!size) {
        answerFailure(res, 500, "package file unavailable");
        return;
    }
    answerOk(res, *size);
}

void handleSaveLog(const httplib::Request& req, httplib::Response& res, ServerContext& ctx) {
    std::optional<std::string> promoteid;
    if (req.has_header("promoteid")) {
        promoteid = req.get_header_value("promoteid");
    }
    std::optional<std::string> contentType;
    if (req.has_header("Content-Type")) {
        contentType = req.get_header_value("Content-Type");
    }
    if (ctx.events == nullptr || !ctx.events->add(isoUtcNow(), promoteid, contentType, req.body)) {
        answerFailure(res, 500, "event not stored");
        return;
    }
    answerOk(res, nullptr);
}

}  // namespace

void registerApiRoutes(httplib::Server& http, ServerContext& ctx) {
    http.Get("/v1/app/client/getInstallInfo",
             [&ctx](const httplib::Request& req, httplib::Response& res) {
                 handleInstallInfo(req, res, ctx);
             });
    http.Get("/v1/app/client/getApkChannel",
             [&ctx](const httplib::Request& req, httplib::Response& res) {
                 answerOk(res, {{"promoteId", req.get_header_value("promoteid")},
                                {"apkChannel", ctx.options.channel}});
             });
    http.Get("/v1/app/client/getSize",
             [&ctx](const httplib::Request&, httplib::Response& res) { handleSize(res, ctx); });
    http.Post("/v1/app/operationLog/saveLog",
              [&ctx](const httplib::Request& req, httplib::Response& res) {
                  handleSaveLog(req, res, ctx);
              });
}

}  // namespace server
