#pragma once

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

#include "core/SessionToken.h"
#include "platform/Keychain.h"
#include "support/AgentProcess.h"
#include "support/DevServiceProcess.h"
#include "support/TestSupport.h"

namespace pm::test {

// A folder of the test's own, the development service and the agent program aimed at it. The session
// token lives in the keychain of the session the tests run in, where the agent looks for it, so none is
// left there before or after a test.
class AgentProgramFixture : public ::testing::Test {
 protected:
  AgentProgramFixture() { deleteKeychainString(keychain, sessionTokenAccount()); }
  ~AgentProgramFixture() override {
    agent.reset();
    deleteKeychainString(keychain, sessionTokenAccount());
  }

  // With `signedInAs`, the agent starts signed in to the service under that e-mail.
  void startService(const std::optional<QString>& signedInAs = std::nullopt,
                    qint64 partSize = 8 * 1024 * 1024) {
    const QString state = root.file(QStringLiteral("service"));
    if (signedInAs) {
      const QString token = DevServiceProcess::createSession(state, *signedInAs);
      storeKeychainString(keychain, token, sessionTokenAccount());
      ASSERT_EQ(loadKeychainString(keychain, sessionTokenAccount()), token) << "no Secret Service answers";
    }
    service = std::make_unique<DevServiceProcess>(state, partSize);
    agent = std::make_unique<AgentProcess>(root.file(QStringLiteral("agent")), service->url());
  }

  void startAgent(const QStringList& arguments = {}) {
    agent->start(arguments);
    ASSERT_TRUE(agent->waitUntilServing()) << agent->log().toStdString();
  }

  QStringList inboxFiles() const {
    return QDir(agent->paths().inbox()).entryList(QDir::Files | QDir::Hidden);
  }
  bool wakeMarkerExists() const { return QFileInfo::exists(agent->paths().uploadWake()); }

  TempRoot root;
  SecretServiceKeychain keychain;
  std::unique_ptr<DevServiceProcess> service;
  std::unique_ptr<AgentProcess> agent;
};

}  // namespace pm::test
