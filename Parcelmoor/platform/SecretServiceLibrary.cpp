#include "SecretServiceLibrary.h"

#include <utility>

namespace pm {

SecretServiceLibrary::SecretServiceLibrary(std::string fileName) : library_(std::move(fileName)) {}

SecretServiceLibrary& SecretServiceLibrary::system() {
  // Never destroyed: a keychain call on another thread may still be inside libsecret while the program ends.
  static SecretServiceLibrary* const instance = new SecretServiceLibrary;
  return *instance;
}

const SecretServiceLibrary::Functions* SecretServiceLibrary::functions() {
  std::call_once(opened_, [this] { open(); });
  return ready_ ? &functions_ : nullptr;
}

const std::string& SecretServiceLibrary::problem() {
  functions();
  return problem_;
}

void SecretServiceLibrary::open() {
  Functions& f = functions_;
  LazyLibrary& l = library_;
  std::string missing;
  l.resolve(f.password_lookup_binary_sync, "secret_password_lookup_binary_sync", missing);
  l.resolve(f.password_store_binary_sync, "secret_password_store_binary_sync", missing);
  l.resolve(f.password_clear_sync, "secret_password_clear_sync", missing);
  l.resolve(f.value_new, "secret_value_new", missing);
  l.resolve(f.value_get, "secret_value_get", missing);
  l.resolve(f.value_unref, "secret_value_unref", missing);
  l.resolve(f.error_free, "g_error_free", missing);
  problem_ = l.problem("libsecret", missing);
  ready_ = problem_.empty();
}

}  // namespace pm
