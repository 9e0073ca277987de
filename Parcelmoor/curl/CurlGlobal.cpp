#include "CurlGlobal.h"

#include "curl/CurlLibrary.h"

namespace pm {

bool initializeCurl() { return loadCurlLibrary(); }

}  // namespace pm
