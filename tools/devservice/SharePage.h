#pragma once

#include "Router.h"

namespace pm::dev {

class DevStore;

// What a share link of a sealed bucket opens: "/s/<bucket>" lists the bucket's complete files, and
// "/s/<bucket>/<file>" serves one of them decrypted under the bucket's key, one chunk at a time.
class SharePage {
 public:
  explicit SharePage(DevStore& store);
  void install(Router& router);

 private:
  Reply listing(const Request& request);
  Reply download(const Request& request);

  DevStore& store_;
};

}  // namespace pm::dev
