#pragma once

// The multi handles http_send_body runs its transfers in, kept between transfers with the connection each
// holds open. Requests that follow one another to one server (the pieces of a file sent in pieces, the
// parts of a multipart upload) then go over one connection: no new handshake, no new TCP slow start for
// each piece. A handle serves one transfer at a time, on whichever thread takes it.

#include <curl/curl.h>

#include <memory>

namespace pm::curl_http {

struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

// A multi handle for one transfer: the one handed back last (whose connection is the likeliest to fit the
// next request), or a new one. Null only when libcurl cannot make one.
MultiHandle takeMultiHandle();

// Keeps `multi`, with no transfer in it, for a later transfer; drops it when enough are kept already.
void returnMultiHandle(MultiHandle multi);

}  // namespace pm::curl_http
