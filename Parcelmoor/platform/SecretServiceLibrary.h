#pragma once

#include <libsecret/secret.h>

#include <mutex>
#include <string>

#include "LazyLibrary.h"

namespace pm {

// libsecret, opened the first time a keychain needs it instead of when the program starts: it brings GIO,
// GObject and what they depend on (libmount, libselinux, libgcrypt ...), which the dynamic loader would
// otherwise map and relocate before main() runs. The programs compile against its header for the types
// and constants only and call it through the functions resolved here.
class SecretServiceLibrary {
 public:
  // The entry points the keychain calls, GLib's among them (found through libsecret's own dependencies),
  // resolved together: a library that lacks one of them counts as missing.
  struct Functions {
    decltype(&::secret_password_lookup_binary_sync) password_lookup_binary_sync = nullptr;
    decltype(&::secret_password_store_binary_sync) password_store_binary_sync = nullptr;
    decltype(&::secret_password_clear_sync) password_clear_sync = nullptr;
    decltype(&::secret_value_new) value_new = nullptr;
    decltype(&::secret_value_get) value_get = nullptr;
    decltype(&::secret_value_unref) value_unref = nullptr;
    decltype(&::g_error_free) error_free = nullptr;
  };

  // `fileName` as the dynamic loader takes it.
  explicit SecretServiceLibrary(std::string fileName = "libsecret-1.so.0");
  SecretServiceLibrary(const SecretServiceLibrary&) = delete;
  SecretServiceLibrary& operator=(const SecretServiceLibrary&) = delete;

  // The one the programs' keychains share.
  static SecretServiceLibrary& system();

  // The functions, opening the library on the first call (whichever thread makes it; the others wait for
  // it), or null when it cannot be opened or lacks one of them.
  const Functions* functions();
  // Why the functions are not available; empty while they are.
  const std::string& problem();

 private:
  void open();

  LazyLibrary library_;
  std::once_flag opened_;
  Functions functions_;
  bool ready_ = false;
  std::string problem_;
};

}  // namespace pm
