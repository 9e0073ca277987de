#include <gtest/gtest.h>

#include <QString>

#include "connectors/OAuthCallback.h"
#include "connectors/OAuthFailure.h"
#include "platform/Workspace.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// A wait started on the event loop whose outcome the test reads afterwards.
struct PendingCode {
  std::optional<QString> code;
  std::optional<OAuthFailure> failure;
  bool done = false;
};

std::shared_ptr<PendingCode> startWait(OAuthCallback& callback, const QString& state,
                                       std::chrono::milliseconds timeout = 5s) {
  auto pending = std::make_shared<PendingCode>();
  [](OAuthCallback& from, QString expected, std::chrono::milliseconds limit,
     std::shared_ptr<PendingCode> out) -> QCoro::Task<> {
    try {
      out->code = co_await from.code(std::move(expected), limit);
    } catch (const OAuthFailure& failure) {
      out->failure = failure;
    }
    out->done = true;
  }(callback, state, timeout, pending);
  return pending;
}

const QString kState = QStringLiteral("s-123");

TEST(OAuthCallbackTest, RedirectsAreConsumedOnlyWithTheRightHostAndState) {
  const struct {
    const char* url;
    bool consumed;
    std::optional<QString> code;
    std::optional<QString> refusal;
  } table[] = {
      {"parcelmoor://oauth/dropbox?state=s-123&code=abc", true, QStringLiteral("abc"), {}},
      {"parcelmoor://OAUTH/dropbox?state=s-123&code=abc", false, {}, {}},
      {"parcelmoor://other/dropbox?state=s-123&code=abc", false, {}, {}},
      {"parcelmoor://oauth/dropbox", false, {}, {}},
      {"parcelmoor://oauth/dropbox?state=wrong&code=abc", false, {}, {}},
      {"parcelmoor://oauth/dropbox?code=abc", false, {}, {}},
      {"parcelmoor://oauth/dropbox?state&code=abc", false, {}, {}},
      {"parcelmoor://oauth/x?state=s-123&code=&error=access_denied", true, {}, QStringLiteral("access_denied")},
      {"parcelmoor://oauth/x?state=s-123&error=access_denied&error_description=You%20said%20no", true, {},
       QStringLiteral("You said no")},
      {"parcelmoor://oauth/x?state=s-123", true, {}, QStringLiteral("The sign-in was refused.")},
      {"parcelmoor://oauth/x?state=s-123&code=a%2Bb+c&code=second", true, QStringLiteral("a+b+c"), {}},
      // Providers write their texts form-encoded: "+" is a space there, "%2B" a plus sign.
      {"parcelmoor://oauth/x?state=s-123&error=access_denied&error_description=The+user+chose+not+to+give+access%2B",
       true, {}, QStringLiteral("The user chose not to give access+")},
      {"parcelmoor://oauth/x?state=s-123&error=user+cancelled", true, {}, QStringLiteral("user cancelled")},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.url);
    OAuthCallback callback;
    const auto pending = startWait(callback, kState);
    EXPECT_EQ(callback.handle(QString::fromLatin1(row.url)), row.consumed);
    if (!row.consumed) {
      test::spin(10ms);
      EXPECT_FALSE(pending->done);
      EXPECT_TRUE(callback.isWaiting());
      continue;
    }
    ASSERT_TRUE(test::runUntil([&] { return pending->done; }));
    EXPECT_EQ(pending->code, row.code);
    if (row.refusal) {
      ASSERT_TRUE(pending->failure);
      EXPECT_EQ(pending->failure->kind(), OAuthFailure::Kind::refused);
      EXPECT_EQ(pending->failure->text(), *row.refusal);
    }
    // Nobody waits any more: the same redirect again is not consumed.
    EXPECT_FALSE(callback.handle(QString::fromLatin1(row.url)));
  }
}

TEST(OAuthCallbackTest, AWrongStateIsLoggedAndTheWaiterStillSucceedsLater) {
  test::LogCapture log;
  OAuthCallback callback;
  EXPECT_FALSE(callback.handle(QStringLiteral("parcelmoor://oauth/x?state=s-123&code=abc")));
  EXPECT_TRUE(log.contains(QStringLiteral("an oauth callback arrived with nobody waiting for one")));

  const auto pending = startWait(callback, kState);
  EXPECT_FALSE(callback.handle(QStringLiteral("parcelmoor://oauth/x?state=old&code=abc")));
  EXPECT_FALSE(callback.handle(QStringLiteral("parcelmoor://oauth/x?code=abc")));
  EXPECT_EQ(log.count(QStringLiteral("an oauth callback arrived with the wrong state; ignoring it")), 2);
  test::spin(10ms);
  EXPECT_FALSE(pending->done);

  EXPECT_TRUE(callback.handle(QStringLiteral("parcelmoor://oauth/x?state=s-123&code=good")));
  ASSERT_TRUE(test::runUntil([&] { return pending->done; }));
  EXPECT_EQ(pending->code, QStringLiteral("good"));
}

TEST(OAuthCallbackTest, ASecondWaitFailsTheFirst) {
  OAuthCallback callback;
  const auto first = startWait(callback, QStringLiteral("one"));
  const auto second = startWait(callback, QStringLiteral("two"));
  ASSERT_TRUE(test::runUntil([&] { return first->done; }));
  ASSERT_TRUE(first->failure);
  EXPECT_EQ(first->failure->kind(), OAuthFailure::Kind::noAnswer);
  EXPECT_FALSE(second->done);

  EXPECT_FALSE(callback.handle(QStringLiteral("parcelmoor://oauth/x?state=one&code=a")));
  EXPECT_TRUE(callback.handle(QStringLiteral("parcelmoor://oauth/x?state=two&code=b")));
  ASSERT_TRUE(test::runUntil([&] { return second->done; }));
  EXPECT_EQ(second->code, QStringLiteral("b"));
}

TEST(OAuthCallbackTest, NoRedirectInTimeFailsAndALateOneIsRefused) {
  OAuthCallback callback;
  const auto pending = startWait(callback, kState, 20ms);
  ASSERT_TRUE(test::runUntil([&] { return pending->done; }));
  ASSERT_TRUE(pending->failure);
  EXPECT_EQ(pending->failure->kind(), OAuthFailure::Kind::noAnswer);
  EXPECT_FALSE(callback.isWaiting());
  EXPECT_FALSE(callback.handle(QStringLiteral("parcelmoor://oauth/x?state=s-123&code=late")));
}

TEST(OAuthCallbackTest, AnAnsweredWaitIsNotFailedByItsOldTimeOut) {
  OAuthCallback callback;
  const auto first = startWait(callback, kState, 30ms);
  EXPECT_TRUE(callback.handle(QStringLiteral("parcelmoor://oauth/x?state=s-123&code=a")));
  const auto second = startWait(callback, QStringLiteral("next"), 5s);
  test::spin(80ms);
  EXPECT_EQ(first->code, QStringLiteral("a"));
  EXPECT_FALSE(second->done);
  EXPECT_TRUE(callback.isWaiting());
}

// A browser so quick that the redirect reaches the callback while the page is still being opened.
class InstantBrowser final : public Workspace {
 public:
  explicit InstantBrowser(OAuthCallback& callback) : callback_(callback) {}
  bool openUrl(const QUrl& url) override {
    opened.append(url);
    taken = callback_.handle(QStringLiteral("parcelmoor://oauth/x?state=s-123&code=quick"));
    return true;
  }
  bool openApplication(const QString&) override { return false; }
  void activateApplication() override {}

  QList<QUrl> opened;
  bool taken = false;

 private:
  OAuthCallback& callback_;
};

TEST(OAuthCallbackTest, APageThatAnswersAtOnceFindsTheWaitInPlace) {
  OAuthCallback callback;
  InstantBrowser browser(callback);
  const QUrl page(QStringLiteral("https://provider.example/authorize?state=s-123"));

  EXPECT_EQ(test::wait(callback.codeFromPage(browser, page, kState, 5s)), QStringLiteral("quick"));
  EXPECT_TRUE(browser.taken);
  EXPECT_EQ(browser.opened, QList<QUrl>{page});
  EXPECT_FALSE(callback.isWaiting());
}

}  // namespace
}  // namespace pm
