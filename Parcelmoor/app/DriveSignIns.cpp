#include "DriveSignIns.h"

namespace pm {

// OneDrive's identity token already names the account; the other two are asked with the new token.
bool needsAccountLabel(OAuthProvider provider) {
  return provider != OAuthProvider::microsoft;
}

}  // namespace pm
