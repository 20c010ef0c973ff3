#include "server/package_route.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "server/byte_range.h"
#include "server/request_log.h"
#include "server/server_context.h"

namespace server {
namespace {

constexpr std::uint64_t kChunkBytes = 64 * 1024;
const char* const kPackageType = "application/octet-stream";

// One package response in flight: the open file, how much of the slice has
// gone out, and the request line to log when the response ends.
class PackageStream {
  public:
    PackageStream(const ServerContext& ctx, const RangePlan& plan, RequestSummary summary)
        : m_ctx(ctx), m_start(plan.start), m_length(plan.length), m_summary(std::move(summary)) {}

    bool open(const std::string& path) {
        m_file.open(path, std::ios::binary);
        m_file.seekg(static_cast<std::streamoff>(m_start));
        m_began = std::chrono::steady_clock::now();
        return m_file.good();
    }

    bool finished() const { return m_sent >= m_length; }

    // Sends the next chunk of the slice.  False ends the response early: the
    // --drop-after budget is spent, the file cannot be read, the client has
    // gone or the server is stopping; httplib then closes the connection.
    bool sendNext(httplib::DataSink& sink) {
        std::uint64_t chunk = std::min(m_length - m_sent, chunkLimit());
        const ServerOptions& o = m_ctx.options;
        if (o.dropAfterSet) {
            if (m_sent >= o.dropAfter) {
                return false;
            }
            chunk = std::min(chunk, o.dropAfter - m_sent);
        }
        m_buffer.resize(static_cast<size_t>(chunk));
        if (chunk == 0 || !m_file.read(m_buffer.data(), static_cast<std::streamsize>(chunk))) {
            return chunk == 0;
        }
        waitForBandwidth(chunk);
        if (m_ctx.stopping.load() || !sink.write(m_buffer.data(), m_buffer.size())) {
            return false;
        }
        m_sent += chunk;
        return true;
    }

    void logFinished(int status) {
        m_summary.status = status;
        m_summary.bodyBytes = m_sent;
        logRequest(m_summary);
    }

  private:
    // Small chunks under a bandwidth cap keep the rate smooth.
    std::uint64_t chunkLimit() const {
        std::uint64_t rate = m_ctx.options.bandwidth;
        return rate == 0 ? kChunkBytes : std::clamp<std::uint64_t>(rate / 20, 1, kChunkBytes);
    }

    // Holds the chunk back until the response's average rate, counted from
    // its first byte, stays within --bandwidth.
    void waitForBandwidth(std::uint64_t chunk) {
        std::uint64_t rate = m_ctx.options.bandwidth;
        if (rate == 0) {
            return;
        }
        double due = static_cast<double>(m_sent + chunk) / static_cast<double>(rate);
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_began).count();
        if (due > elapsed) {
            sleepUnlessStopping(due - elapsed, m_ctx.stopping);
        }
    }

    const ServerContext& m_ctx;
    std::uint64_t m_start;
    std::uint64_t m_length;
    std::uint64_t m_sent = 0;
    RequestSummary m_summary;
    std::ifstream m_file;
    std::vector<char> m_buffer;
    std::chrono::steady_clock::time_point m_began;
};

void attachStream(httplib::Response& res, const std::shared_ptr<PackageStream>& stream,
                  const RangePlan& plan, bool noLength) {
    int status = res.status;
    auto release = [stream, status](bool) { stream->logFinished(status); };
    if (noLength) {
        res.set_chunked_content_provider(
            kPackageType,
            [stream](size_t, httplib::DataSink& sink) {
                if (stream->finished()) {
                    sink.done();
                    return true;
                }
                return stream->sendNext(sink);
            },
            release);
        return;
    }
    res.set_content_provider(
        static_cast<size_t>(plan.length), kPackageType,
        [stream](size_t, size_t, httplib::DataSink& sink) { return stream->sendNext(sink); },
        release);
}

void answerPackageUnavailable(httplib::Response& res) {
    res.status = 500;
    res.set_content("package file unavailable\n", "text/plain");
}

// The range to serve: none under --ignore-range, nor when the client's
// If-Range no longer describes the file.  The validators go out with every
// answer made from the file while it is the one read at start-up; a file
// changed since has none a client could hold.
std::string rangeToServe(const httplib::Request& req, httplib::Response& res,
                         const ServerContext& ctx) {
    const PackageFacts& facts = ctx.package;
    bool unchanged = packageUnchanged(facts, ctx.options.packagePath);
    if (unchanged) {
        res.set_header("ETag", facts.etag);
        res.set_header("Last-Modified", facts.lastModified);
    }
    std::string ifRange = req.get_header_value("If-Range");
    bool holds = unchanged ? ifRangeHolds(ifRange, facts.etag, facts.lastModified,
                                          facts.lastModifiedIsStrong)
                           : ifRange.empty();
    return holds && !ctx.options.ignoreRange ? req.get_header_value("Range") : "";
}

}  // namespace

void handlePackage(const httplib::Request& req, httplib::Response& res, ServerContext& ctx) {
    const ServerOptions& o = ctx.options;
    if (ctx.packageRequests.fetch_add(1) < o.failFirst) {
        res.status = o.failFirstStatus;
        res.set_content("hobnar-backend: status " + std::to_string(o.failFirstStatus) +
                            " forced for this early package request\n",
                        "text/plain");
        return;
    }
    std::error_code ec;
    std::uint64_t total = std::filesystem::file_size(o.packagePath, ec);
    if (ec) {
        answerPackageUnavailable(res);
        return;
    }
    RangePlan plan = planRange(rangeToServe(req, res, ctx), total);
    if (plan.kind == RangePlan::Unsatisfiable) {
        res.status = 416;
        res.set_header("Content-Range", unsatisfiedRangeHeader(total));
        return;
    }
    auto stream = std::make_shared<PackageStream>(ctx, plan, summarizeRequest(req));
    if (!stream->open(o.packagePath)) {
        answerPackageUnavailable(res);
        return;
    }
    res.status = plan.kind == RangePlan::Partial && !o.rangeAs200 ? 206 : 200;
    if (!o.ignoreRange) {
        res.set_header("Accept-Ranges", "bytes");
    }
    if (plan.kind == RangePlan::Partial) {
        res.set_header("Content-Range", contentRangeHeader(plan, total, o.noLength));
    }
    if (plan.length == 0 && !o.noLength) {
        // httplib would send a zero-length provider without any Content-Length.
        res.set_content("", kPackageType);
        return;
    }
    attachStream(res, stream, plan, o.noLength);
}

void handleSignature(httplib::Response& res, const ServerContext& ctx) {
    if (!ctx.package.signature) {
        res.status = 404;
        res.set_content("hobnar-backend: no signature of the package is served\n", "text/plain");
        return;
    }
    res.set_content(*ctx.package.signature, "text/plain");
}

}  // namespace server
