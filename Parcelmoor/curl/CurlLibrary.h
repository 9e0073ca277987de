#pragma once

#include <string>

namespace pm {

// libcurl is opened the first time one of its functions is called, not when the program starts: loading
// it and what it depends on (TLS, LDAP, SSH, RTMP libraries) costs a program that may never transfer a
// file a good part of its start. The curl_* functions the programs call are defined in CurlLibrary.cpp
// and reach the library through this; while it cannot be opened, each fails as libcurl fails to set up
// (CURLE_FAILED_INIT, a null handle) and curl_easy_strerror says why.

// Opens libcurl and sets it up (curl_global_init) once; false when either failed.
bool loadCurlLibrary();
// Why libcurl is not available; empty while it is.
std::string curlLibraryProblem();

}  // namespace pm
