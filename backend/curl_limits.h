// The limits every libcurl transfer of the program carries, the API calls'
// and the package download's alike.  Internal to backend/ and install/;
// any thread, on a handle that thread owns.
#pragma once

#include <curl/curl.h>

namespace backend {

// Only http and https, redirects included, and at most ten redirects: a
// spoofed reply must not make us speak other protocols to other hosts and
// ports, nor chase redirects for ever.
void restrictProtocols(CURL* curl);

}  // namespace backend
