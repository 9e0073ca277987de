#pragma once

#include <QFileInfo>
#include <QString>

#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "connectors/OAuthCredentials.h"
#include "core/UploaderConfig.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"

namespace pm::bench {

// What a drive benchmark gets from its script: the stand-in server's address and the file to send.
struct DriveBenchInputs {
  QString endpoint;
  QString path;
};

// The address in `endpointVariable` and the file in PM_BENCH_FILE; nothing, with the benchmark skipped and
// pointed at `script`, when either is missing.
inline std::optional<DriveBenchInputs> driveBenchInputs(benchmark::State& state, const char* endpointVariable,
                                                        const char* script) {
  DriveBenchInputs inputs{QString::fromLocal8Bit(qgetenv(endpointVariable)),
                          QString::fromLocal8Bit(qgetenv("PM_BENCH_FILE"))};
  if (inputs.endpoint.isEmpty() || !QFileInfo(inputs.path).isFile()) {
    const std::string message = std::string(endpointVariable) + " or PM_BENCH_FILE is not set; run " + script;
    state.SkipWithError(message.c_str());
    return std::nullopt;
  }
  return inputs;
}

// A connection of `kind` whose tokens, stored in `keychain`, stay fresh for an hour: the uploader under test
// never renews them.
inline UploaderConfig signedInConnection(UploaderConfig::Kind kind, OAuthProvider provider,
                                         Keychain& keychain, const Clock& clock) {
  UploaderConfig config(kind);
  OAuthCredentials::save(keychain,
                         OAuthCredentials{QStringLiteral("refresh"), QString(), QStringLiteral("access"),
                                          clock.now().addSecs(3600)},
                         config.id, provider);
  return config;
}

}  // namespace pm::bench
