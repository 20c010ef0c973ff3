// The limits every libcurl transfer of the program carries, the API calls'
// and the package download's alike.  Internal to backend/ and install/;
// any thread, on a handle that thread owns.
#pragma once

#include <curl/curl.h>

#include <string>

namespace backend {

// Only http and https, redirects included, and at most ten redirects: a
// spoofed reply must not make us speak other protocols to other hosts and
// ports, nor chase redirects for ever.
void restrictProtocols(CURL* curl);

// Everything a transfer to `url` needs of the connection: the protocol
// limits above, the proxy the system's settings give for the address, and
// revocation checked where its servers can be reached (Schannel otherwise
// fails every TLS connection on a network that blocks them).
void applyConnectionSettings(CURL* curl, const std::string& url);

}  // namespace backend
