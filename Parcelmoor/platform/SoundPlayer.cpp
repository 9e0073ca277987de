#include "SoundPlayer.h"

#include <canberra.h>

#include "LazyLibrary.h"
#include "Log.h"

namespace pm {

// The library and its context come with the first sound: most runs of the agent play none for a while,
// and loading libcanberra (with its codecs and database) would only slow its start.
struct CanberraSoundPlayer::Context {
  explicit Context(std::string fileName) : library(std::move(fileName)) {}

  LazyLibrary library;
  bool tried = false;
  ca_context* handle = nullptr;
  decltype(&::ca_context_destroy) destroy = nullptr;
  decltype(&::ca_context_play) play = nullptr;
  decltype(&::ca_strerror) strerror = nullptr;

  // True when a context is there to play on; tried once.
  bool open() {
    if (tried) return handle != nullptr;
    tried = true;
    const auto create = library.function<decltype(&::ca_context_create)>("ca_context_create");
    destroy = library.function<decltype(destroy)>("ca_context_destroy");
    play = library.function<decltype(play)>("ca_context_play");
    strerror = library.function<decltype(strerror)>("ca_strerror");
    if (!create || !destroy || !play || !strerror) {
      const std::string why = library.error().empty() ? library.fileName() + " lacks a function it needs"
                                                      : library.error();
      qCWarning(lcApp, "Sounds are off: libcanberra could not be loaded: %s", why.c_str());
      return false;
    }
    if (const int result = create(&handle); result != CA_SUCCESS) {
      qCWarning(lcApp, "Sounds are off: %s", strerror(result));
      handle = nullptr;
    }
    return handle != nullptr;
  }
};

CanberraSoundPlayer::CanberraSoundPlayer(std::string library)
    : context_(std::make_unique<Context>(std::move(library))) {}

CanberraSoundPlayer::~CanberraSoundPlayer() {
  if (context_->handle) context_->destroy(context_->handle);
}

void CanberraSoundPlayer::play(const QString& name) {
  if (!context_->open()) return;
  const QByteArray id = name.toUtf8();
  const int result = context_->play(context_->handle, 0, CA_PROP_EVENT_ID, id.constData(), nullptr);
  if (result != CA_SUCCESS)
    qCInfo(lcApp, "The sound \"%s\" did not play: %s", id.constData(), context_->strerror(result));
}

}  // namespace pm
