#pragma once

#include <QAbstractButton>
#include <QDir>
#include <QStringList>
#include <QWidget>

#include <memory>

#include "model/AppSettings.h"
#include "platform/BundleInfo.h"
#include "platform/Keychain.h"
#include "platform/NotificationSettings.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "ScriptedChecks.h"
#include "support/TestSupport.h"
#include "views/SettingsView.h"

namespace pm::settings::test {

// The desktop's notification settings as a test wants them: there or not, counting openings.
class FakeNotificationSettings final : public NotificationSettings {
 public:
  bool available = true;
  int opened = 0;
  bool isAvailable() const override { return available; }
  bool open() override {
    ++opened;
    return available;
  }
};

// The settings window over a suite in memory and signals that stay in the process, made as the program
// makes it: the model first (whose start writes and posts once), then the window, with the agent's four
// signals relayed.
class SettingsWindowRig {
 public:
  SettingsWindowRig() {
    for (const char* name : {names::signal::kAccountChanged, names::signal::kSyncChanged,
                             names::signal::kSettingsChanged, names::signal::kNotificationAccessChanged})
      signals.observeDarwinNotification(QString::fromLatin1(name));
  }

  SettingsView& open() {
    settings = std::make_unique<AppSettings>(defaults, signals, keychain, clock);
    view = std::make_unique<SettingsView>(*settings, defaults, signals, notificationSettings, bundle, keychain,
                                          checks);
    view->show();
    // The start's own "settingsChanged" comes back once; what a test does starts after it.
    settle();
    signals.clearPosted();
    return *view;
  }

  // Lets every queued delivery (and what it posts in turn) run.
  void settle() { pm::test::spin(std::chrono::milliseconds(30)); }

  int posted(const char* name) const { return int(signals.posted().count(QString::fromLatin1(name))); }

  template <typename T = QWidget>
  T* find(const char* objectName) const {
    return view->findChild<T*>(QString::fromLatin1(objectName));
  }
  void click(const char* objectName) const {
    QAbstractButton* button = find<QAbstractButton>(objectName);
    if (!button) throw std::runtime_error(std::string("no button ") + objectName);
    button->click();
  }

  // Saves the window as build/test-artifacts/<name>.png for a reviewer to look at.
  void screenshot(const QString& name) const {
    QDir().mkpath(pm::test::artifactsDirectory());
    view->grab().save(QDir(pm::test::artifactsDirectory()).filePath(name + QLatin1String(".png")));
  }

  MemorySharedDefaults defaults;
  LocalSignals signals;
  MemoryKeychain keychain;
  pm::test::ManualClock clock;
  FakeNotificationSettings notificationSettings;
  ScriptedChecks checks;
  BundleInfo bundle{{{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.4")},
                     {QStringLiteral("CFBundleVersion"), QStringLiteral("57")}}};
  std::unique_ptr<AppSettings> settings;
  std::unique_ptr<SettingsView> view;
};

}  // namespace pm::settings::test
