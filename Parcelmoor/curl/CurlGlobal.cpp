#include "CurlGlobal.h"

#include <curl/curl.h>

namespace pm {

bool initializeCurl() {
  // curl_global_init is not thread-safe in itself; a function-local static makes the one call safe even
  // when tests or a second caller reach it late.
  static const bool initialized = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return initialized;
}

}  // namespace pm
