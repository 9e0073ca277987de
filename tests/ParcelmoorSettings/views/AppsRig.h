#pragma once

#include <QDir>
#include <QUrl>
#include <QWidget>

#include <memory>

#include "ScriptedChecks.h"
#include "core/AccountState.h"
#include "model/AppSettings.h"
#include "platform/BundleInfo.h"
#include "platform/Keychain.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"
#include "views/ConnectionServices.h"

namespace pm::settings::test {

// What the Apps page and the editor stand on, in memory: the suite, the keychain, in-process signals,
// scripted tests, a recorded browser and a drive wait of milliseconds.
class AppsRig {
 public:
  AppsRig() {
    signals.observeDarwinNotification(QString::fromLatin1(names::signal::kAccountChanged));
    signals.observeDarwinNotification(QString::fromLatin1(names::signal::kSettingsChanged));
    settings = std::make_unique<AppSettings>(defaults, signals, keychain, clock);
  }

  ConnectionServices services() {
    return {.keychain = keychain,
            .defaults = defaults,
            .signals = signals,
            .bundle = bundle,
            .checks = checks,
            .serviceBase = QUrl(QStringLiteral("http://127.0.0.1:9/base")),
            .openUrl = [this](const QUrl& url) {
              opened.append(url);
              return true;
            },
            .driveConnect = {.attempts = 5, .interval = std::chrono::milliseconds(10)}};
  }

  void setAccount(const AccountState& account) { account.save(defaults, signals); }

  UploaderConfig add(UploaderConfig::Kind kind, const QString& name = {}) {
    UploaderConfig config(kind);
    config.name = name;
    settings->upsert(config);
    return config;
  }

  static void screenshot(QWidget& widget, const QString& name) {
    // Lets the layouts catch up with the last change first.
    pm::test::spin(std::chrono::milliseconds(10));
    QDir().mkpath(pm::test::artifactsDirectory());
    widget.grab().save(QDir(pm::test::artifactsDirectory()).filePath(name + QLatin1String(".png")));
  }

  MemorySharedDefaults defaults;
  LocalSignals signals;
  MemoryKeychain keychain;
  pm::test::ManualClock clock;
  ScriptedChecks checks;
  BundleInfo bundle{{{QStringLiteral("GOOGLE_CLIENT_ID"), QStringLiteral("google-client")},
                     {QStringLiteral("MICROSOFT_CLIENT_ID"), QStringLiteral("microsoft-client")}}};
  QList<QUrl> opened;
  std::unique_ptr<AppSettings> settings;
};

}  // namespace pm::settings::test
