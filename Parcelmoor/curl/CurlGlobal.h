#pragma once

namespace pm {

// libcurl's process-wide set-up (TLS library, sockets). Call it from main() before any thread exists;
// later calls do nothing. False when libcurl could not be set up: every FTP transfer will then fail.
bool initializeCurl();

}  // namespace pm
