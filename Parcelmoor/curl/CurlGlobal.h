#pragma once

namespace pm {

// libcurl's process-wide set-up (TLS library, sockets), done with the library's loading on its first use
// from whichever thread; call it only to have that happen at a moment of one's choosing. Later calls do
// nothing. False when libcurl could not be loaded or set up: every transfer over it will then fail.
bool initializeCurl();

}  // namespace pm
