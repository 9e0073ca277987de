#include "SoundPlayer.h"

#include <canberra.h>

#include "Log.h"

namespace pm {

struct CanberraSoundPlayer::Context {
  ca_context* handle = nullptr;
};

CanberraSoundPlayer::CanberraSoundPlayer() : context_(std::make_unique<Context>()) {
  if (const int result = ca_context_create(&context_->handle); result != CA_SUCCESS) {
    qCWarning(lcApp, "Sounds are off: %s", ca_strerror(result));
    context_->handle = nullptr;
  }
}

CanberraSoundPlayer::~CanberraSoundPlayer() {
  if (context_->handle) ca_context_destroy(context_->handle);
}

void CanberraSoundPlayer::play(const QString& name) {
  if (!context_->handle) return;
  const QByteArray id = name.toUtf8();
  const int result = ca_context_play(context_->handle, 0, CA_PROP_EVENT_ID, id.constData(), nullptr);
  if (result != CA_SUCCESS)
    qCInfo(lcApp, "The sound \"%s\" did not play: %s", id.constData(), ca_strerror(result));
}

}  // namespace pm
