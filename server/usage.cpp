#include "server/options.h"

namespace server {

std::string usageText() {
    return R"(Usage: hobnar-backend --package FILE [options]
       hobnar-backend [--db FILE] --list-events

The reference backend of the hobnarAudio installer: the client queries, the
operation-log event store and the package archive with byte ranges.

Serving:
  --package FILE        package archive served at
                        /client/win/mainprogram/win-ia32-unpacked.rar (required)
  --port N              port to listen on; 0 picks a free one (default 18080)
  --host ADDR           address to bind (default 127.0.0.1)
  --package-url URL     "url" answered by getInstallInfo (default: this server's
                        own package route, built from the request's Host header)
  --version TEXT        "version" answered by getInstallInfo (default 2.0.1)
  --channel TEXT        "apkChannel" answered by getApkChannel (default guanwang)
  --db FILE             SQLite file of the received events
                        (default hobnar-backend-events.db in the current folder)

Events:
  --list-events         print the stored events of --db, one JSON object per line
                        (id, receivedAt, promoteid, contentType, body), and exit

Faults (for tests; package faults apply to the package route only):
  --bandwidth BYTES     cap each package response at BYTES per second
  --drop-after BYTES    close the connection after BYTES body bytes of each
                        package response; every new request gets up to BYTES more
                        counted from its own range start, so a resuming client
                        still progresses
  --ignore-range        answer package requests with 200 and the whole file even
                        when a Range was asked
  --no-length           send the package chunked, without Content-Length; a
                        honoured range gets "Content-Range: bytes N-M/*", so the
                        client never learns the total size
  --status PATH=CODE    answer PATH with status CODE and a short text body
                        (repeatable; takes precedence over --reply and --redirect)
  --reply PATH=TEXT     answer PATH with 200 and exactly TEXT as body
                        (repeatable; for malformed or wrongly typed replies)
  --redirect PATH=LOCATION
                        answer PATH with 302 and that Location (repeatable); a
                        client following it repeats its Range on the new target
  --fail-first COUNT:CODE
                        answer the first COUNT package requests (GET or HEAD)
                        with status CODE and a short text body, then serve
                        normally (a burst of server errors)
  --stall SECONDS       wait that long before answering any request...
  --stall-path PATH     ...or only requests for PATH
  A PATH is matched against the request path without its query.  Faults that
  replace a reply ignore the request's Range.  A Range header that cannot be
  parsed at all (bytes=5-3, items=0-1) is answered 416 on every path, even
  with --ignore-range; a multi-part range gets the whole file (200).

Options with a value may also be written --option=value.

Output: one line "hobnar-backend listening on http://HOST:PORT" on standard
output once connections are accepted; one line per request on standard error
(method, path, range, status, body bytes sent, promoteid).  SIGINT or SIGTERM
stops the server cleanly.

Exit status: 0 on success and after a signal, 1 when the event store or the
port cannot be opened, 2 for bad options or an unreadable package file.
)";
}

}  // namespace server
