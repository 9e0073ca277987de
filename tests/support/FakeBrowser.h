#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

#include "platform/Workspace.h"

namespace pm::test {

// The user's browser, as far as a loopback sign-in sees it: it records every URL opened and, for an
// authorisation page, visits the page's redirect address with the page's state and the scripted answer
// (a code, or a provider error), optionally after a request for an icon as real browsers make. A redirect
// to the program's own scheme ("parcelmoor://oauth/…") is handed to the opener set with
// openOwnSchemeWith(), as the desktop hands such a URL to the program, from the event loop.
class FakeBrowser final : public Workspace {
 public:
  enum class Reply { code, error, nothing };

  bool openUrl(const QUrl& url) override;
  bool openApplication(const QString&) override { return false; }
  void activateApplication() override {}

  void answerWithCode(QString code) { reply_ = Reply::code, value_ = std::move(code); }
  void answerWithError(QString error) { reply_ = Reply::error, value_ = std::move(error); }
  void answerNothing() { reply_ = Reply::nothing; }
  void askForIconFirst(bool ask) { iconFirst_ = ask; }
  using Opener = std::function<bool(const QUrl& url)>;
  void openOwnSchemeWith(Opener opener) { ownScheme_ = std::move(opener); }

  const QList<QUrl>& opened() const { return opened_; }
  // The pages the redirect address answered with, in order.
  const QList<QByteArray>& pages() const { return pages_; }

 private:
  void visit(QList<QUrl> urls);

  QNetworkAccessManager network_;
  Reply reply_ = Reply::code;
  QString value_ = QStringLiteral("the-code");
  bool iconFirst_ = false;
  QList<QUrl> opened_;
  QList<QByteArray> pages_;
  Opener ownScheme_;
};

}  // namespace pm::test
