#include "server/options.h"

namespace server {

std::string usageText() {
    return R"(Usage: hobnar-backend --package FILE [options]
       hobnar-backend --release FOLDER [options]
       hobnar-backend [--db FILE] --list-events

The reference backend of the hobnarAudio installer: the client queries, the
operation-log event store and the package archive with byte ranges.

Serving:
  --package FILE        package archive served at
                        /client/win/mainprogram/win-ia32-unpacked.rar (required
                        unless --release is given)
  --release FOLDER      serve a folder made by scripts/release.sh as it is: its
                        win-ia32-unpacked.rar, the .minisig beside it, and
                        install-info.json as getInstallInfo's answer (its "url"
                        unless --package-url is given).  The folder's parts must
                        fit: the file's size and sha256 must be the package's,
                        or the backend does not start.  Excludes --package,
                        --signature and --version
  --port N              port to listen on; 0 picks a free one (default 18080)
  --host ADDR           address to bind (default 127.0.0.1)
  --package-url URL     "url" answered by getInstallInfo (default: this server's
                        own package route, built from the request's Host header)
  --version TEXT        "version" answered by getInstallInfo (default 2.0.1)
  --channel TEXT        "apkChannel" answered by getApkChannel (default guanwang)
  --db FILE             SQLite file of the received events
                        (default hobnar-backend-events.db in the current folder)

Package integrity:
  getInstallInfo announces the SHA-256 of the package as "sha256" (64 lower-case
  hex digits, computed once at start-up).  Package replies carry an ETag and a
  Last-Modified date; a Range with an If-Range that no longer matches them gets
  the whole file (200).
  --signature FILE      minisign signature of the package, served at the package
                        route's path + ".minisig" (without it that path is 404)
  --no-digest           announce no "sha256" (a backend that predates it)

Events:
  --list-events         print the stored events of --db, one JSON object per line
                        (id, receivedAt, promoteid, contentType, body), and exit
  An event body must be JSON text of at most 64 KiB: a larger one is refused
  with 413 before it is read, a multipart form with 415, anything else that is
  not JSON with 400; none of them is stored.  Only events carry a body: any
  other request with one gets 413.

Limits: a client has 5 seconds to send each request, header and body (the time
spent answering does not count), and 32 KiB for its request line and header
fields; beyond either the connection is closed, with a 400 once the request line
has arrived.  Every connection is served on a thread of its own (up to 1024).

Faults (for tests; package faults apply to the package route only):
  --bandwidth BYTES     cap each package response at BYTES per second
  --drop-after BYTES    close the connection after BYTES body bytes of each
                        package response; every new request gets up to BYTES more
                        counted from its own range start, so a resuming client
                        still progresses
  --ignore-range        answer package requests with 200 and the whole file even
                        when a Range was asked
  --range-as-200        answer a honoured range with status 200 instead of 206,
                        its Content-Range and partial body kept (as some
                        proxies do)
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
  --wrong-digest        announce a well-formed "sha256" that is not the package's
  --wrong-signature     serve a well-formed signature that does not verify: the
                        --signature file with one bit of its signature flipped,
                        or without --signature a fixed one made of zeros
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
port cannot be opened, 2 for bad options, an unreadable package or signature
file, or a release folder whose parts do not fit.
)";
}

}  // namespace server
