#pragma once

#include <QNetworkAccessManager>

#include "core/ParcelmoorAPI.h"
#include "core/SessionToken.h"
#include "platform/Keychain.h"
#include "support/FakeService.h"

namespace pm::test {

// The service client pointed at a fresh fake service, with an in-memory keychain: where every test of
// code that talks to the product's service starts. (Header only: the test executables that use it link
// pm_core and pm_fake_service.)
struct ServiceHarness {
  static ParcelmoorAPI::Options optionsFor(const FakeService& service) {
    ParcelmoorAPI::Options options;
    options.baseUrl = service.baseUrl();
    options.preferredLanguages = {QStringLiteral("en-GB")};
    return options;
  }

  // The same, aimed at a port where nothing listens.
  ParcelmoorAPI::Options unreachableOptions() const {
    ParcelmoorAPI::Options options = optionsFor(service);
    options.baseUrl = QUrl(QStringLiteral("http://127.0.0.1:1"));
    return options;
  }

  ServiceHarness() : api(network, keychain, optionsFor(service)) {}
  explicit ServiceHarness(ParcelmoorAPI::Options options) : api(network, keychain, std::move(options)) {}

  // A live session at the service whose token the keychain holds; returns the token.
  QString signIn(const QString& email = QStringLiteral("ada@example.com"), bool subscribed = true) {
    const QString token = service.createSession(email, subscribed);
    storeToken(token);
    return token;
  }
  // Written as another program would: the client hears of it as it hears of the Secret Service's changes.
  void storeToken(const QString& token) {
    storeKeychainString(keychain, token, sessionTokenAccount());
    api.sessionToken().forget();
  }
  std::optional<QString> storedToken() const { return loadKeychainString(keychain, sessionTokenAccount()); }

  // Declared first so it stops last: the client's connections close before the server waits for them.
  FakeService service;
  MemoryKeychain keychain;
  QNetworkAccessManager network;
  ParcelmoorAPI api;
};

}  // namespace pm::test
