#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace pm {

// Plays a named sound of the desktop's sound theme (freedesktop names such as "complete").
class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Fire and forget: a sound that cannot play is only logged.
  virtual void play(const QString& name) = 0;
};

// Plays through libcanberra, opened (as `library`) with the first sound. Without the library, a sound server
// or a theme it stays silent and says why in the log.
class CanberraSoundPlayer final : public SoundPlayer {
 public:
  explicit CanberraSoundPlayer(std::string library = "libcanberra.so.0");
  ~CanberraSoundPlayer() override;
  CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
  CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

  void play(const QString& name) override;

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// Remembers what it was asked to play, for tests.
class RecordingSoundPlayer final : public SoundPlayer {
 public:
  void play(const QString& name) override { played << name; }
  QStringList played;
};

}  // namespace pm
