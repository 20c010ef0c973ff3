#include "server/api_routes.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
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
    // A release folder's information is answered as it is; --package-url
    // still points clients elsewhere (a trial serving the package itself).
    json obj = ctx.package.installInfo ? json::parse(*ctx.package.installInfo)
                                       : json{{"size", *size},
                                              {"url", ownPackageUrl(req, ctx)},
                                              {"version", ctx.options.version}};
    if (!ctx.options.packageUrl.empty()) {
        obj["url"] = ctx.options.packageUrl;
    }
    obj.erase("sha256");
    if (ctx.package.announcedSha256) {
        obj["sha256"] = *ctx.package.announcedSha256;
    }
    answerOk(res, obj);
}

void handleSize(httplib::Response& res, ServerContext& ctx) {
    std::optional<std::string> size = packageSizeText(ctx);
    if (!size) {
        answerFailure(res, 500, "package file unavailable");
        return;
    }
    answerOk(res, *size);
}

// The body is read through the route's own cap, since a chunked body declares
// no length that bodyRefusal could have judged; the rest of a larger body
// stays unread.
void handleSaveLog(const httplib::Request& req, httplib::Response& res,
                   const httplib::ContentReader& reader, ServerContext& ctx) {
    std::string body;
    bool tooLarge = false;
    bool complete = reader([&](const char* data, size_t length) {
        tooLarge = body.size() + length > kEventBodyLimit;
        body.append(data, tooLarge ? 0 : length);
        return !tooLarge;
    });
    if (tooLarge || !complete) {
        answerFailure(res, tooLarge ? 413 : 400,
                      tooLarge ? "event body larger than 64 KiB" : "event body incomplete");
        return;
    }
    if (!json::accept(body)) {
        answerFailure(res, 400, "event body is not JSON");
        return;
    }
    std::optional<std::string> promoteid;
    if (req.has_header("promoteid")) {
        promoteid = req.get_header_value("promoteid");
    }
    std::optional<std::string> contentType;
    if (req.has_header("Content-Type")) {
        contentType = req.get_header_value("Content-Type");
    }
    if (ctx.events == nullptr || !ctx.events->add(isoUtcNow(), promoteid, contentType, body)) {
        answerFailure(res, 500, "event not stored");
        return;
    }
    answerOk(res, nullptr);
}

bool startsWithCaseless(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

int bodyRefusal(const httplib::Request& req) {
    bool takesBody = req.method == "POST" && req.path == kSaveLogPath;
    std::string length = req.get_header_value("Content-Length");
    bool chunked = req.has_header("Transfer-Encoding");
    std::uint64_t declared = 0;
    auto parsed = std::from_chars(length.data(), length.data() + length.size(), declared);
    if (!length.empty() &&
        (parsed.ec != std::errc() || parsed.ptr != length.data() + length.size())) {
        return 400;
    }
    if (declared > (takesBody ? kEventBodyLimit : 0) || (chunked && !takesBody)) {
        return 413;
    }
    if (takesBody && length.empty() && !chunked) {
        return 411;
    }
    // httplib would parse a multipart body into form fields, not hand it over.
    if (takesBody && startsWithCaseless(req.get_header_value("Content-Type"), "multipart/")) {
        return 415;
    }
    return 0;
}

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
    http.Post(kSaveLogPath, [&ctx](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& reader) {
        handleSaveLog(req, res, reader, ctx);
    });
}

}  // namespace server
