#include <QRandomGenerator>

#include <gtest/gtest.h>

#include "AgentProgramFixture.h"

namespace pm::test {
namespace {

using namespace std::chrono_literals;

QByteArray randomBytes(qint64 size) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator::global()->generate(bytes.begin(), bytes.end());
  return bytes;
}

class EndToEnd : public AgentProgramFixture {};

// The road scripts/run sets up: the development service and the agent, a signed-in account, files handed
// over with "Parcelmoor send". What arrives at the service is only sealed parts; opened with the bucket's
// key they must give back every byte.
TEST_F(EndToEnd, SentFilesArriveAtTheServiceAsSealedPartsOfTheOriginalBytes) {
  constexpr qint64 kPartSize = 1024 * 1024;
  ASSERT_NO_FATAL_FAILURE(startService(QStringLiteral("e2e@example.com"), kPartSize));
  ASSERT_NO_FATAL_FAILURE(startAgent());

  const QMap<QString, QByteArray> contents{
      {QStringLiteral("empty.txt"), QByteArray()},
      {QStringLiteral("notes.txt"), randomBytes(3000)},
      // Two sealed chunks, stored as five parts.
      {QStringLiteral("big.bin"), randomBytes(4 * 1024 * 1024 + 17)},
  };
  QStringList arguments{QStringLiteral("send")};
  for (auto it = contents.cbegin(); it != contents.cend(); ++it)
    arguments.append(root.write(QStringLiteral("files/") + it.key(), it.value()));
  const AgentProcess::Finished sent = agent->launch(arguments);
  ASSERT_EQ(sent.exitCode, 0) << sent.errors.toStdString();

  QMap<QString, QByteArray> stored;
  const bool allStored = runUntil(
      [&] {
        for (auto it = contents.cbegin(); it != contents.cend(); ++it) {
          if (stored.contains(it.key())) continue;
          if (const std::optional<QByteArray> bytes = service->storedFile(it.key()))
            stored.insert(it.key(), *bytes);
        }
        return stored.size() == contents.size();
      },
      30s);
  ASSERT_TRUE(allStored) << "stored " << stored.size() << " of " << contents.size() << " files\n"
                         << agent->log().toStdString();
  for (auto it = contents.cbegin(); it != contents.cend(); ++it)
    EXPECT_TRUE(stored.value(it.key()) == it.value()) << it.key().toStdString();
}

}  // namespace
}  // namespace pm::test
