#include "server/faults.h"

#include <httplib.h>

#include "server/server_context.h"

namespace server {

bool applyFaults(const httplib::Request& req, httplib::Response& res, ServerContext& ctx) {
    // The Request is httplib's own non-const object, handed to us by const
    // reference; clearing its ranges is the one change made to it.
    const_cast<httplib::Request&>(req).ranges.clear();

    const ServerOptions& o = ctx.options;
    if (o.stallSeconds > 0 && (o.stallPath.empty() || o.stallPath == req.path)) {
        sleepUnlessStopping(o.stallSeconds, ctx.stopping);
    }
    auto status = o.statusByPath.find(req.path);
    if (status != o.statusByPath.end()) {
        res.status = status->second;
        res.set_content("hobnar-backend: status " + std::to_string(status->second) +
                            " forced for " + req.path + "\n",
                        "text/plain");
        return true;
    }
    auto reply = o.replyByPath.find(req.path);
    if (reply != o.replyByPath.end()) {
        res.status = 200;
        res.set_content(reply->second, "application/json;charset=utf-8");
        return true;
    }
    auto redirect = o.redirectByPath.find(req.path);
    if (redirect != o.redirectByPath.end()) {
        res.set_redirect(redirect->second, 302);
        return true;
    }
    return false;
}

}  // namespace server
