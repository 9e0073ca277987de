#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <memory>

namespace pm {

class Workspace;

// The one waiter for an OAuth redirect that reaches the program as an opened URL
// ("parcelmoor://oauth/<provider>?state=…&code=…"). At most one sign-in waits at a time; the program owns
// one instance and hands every opened URL to handle(). Main thread only.
class OAuthCallback final : public QObject {
  Q_OBJECT

 public:
  // What the drives wait for a redirect.
  static constexpr std::chrono::seconds kDefaultTimeout{300};

  explicit OAuthCallback(QObject* parent = nullptr);
  // A sign-in still waiting fails with `noAnswer`.
  ~OAuthCallback() override;

  // The authorisation code of the first redirect that carries `state`. A sign-in that was already waiting
  // fails with `noAnswer` first. Throws OAuthFailure: `noAnswer` when nothing usable arrives within
  // `timeout` or a newer wait replaces this one, `refused` with the provider's text.
  QCoro::Task<QString> code(QString state, std::chrono::milliseconds timeout = kDefaultTimeout);
  // code(), with the provider's consent `page` opened through `workspace` once the wait is in place, so a
  // browser that answers at once finds it waiting.
  QCoro::Task<QString> codeFromPage(Workspace& workspace, QUrl page, QString state,
                                    std::chrono::milliseconds timeout = kDefaultTimeout);

  // Offers an opened URL, as its text (the host is compared as written: "OAUTH" is not "oauth"). True when
  // it was consumed: the waiting sign-in got its code or its refusal. A URL that is no OAuth redirect, or
  // one with the wrong state or nobody waiting, is not consumed and the waiter (if any) keeps waiting.
  bool handle(const QString& url);

  bool isWaiting() const { return waiting_ != nullptr; }
  // Ends the waiting sign-in, if any, with `noAnswer`.
  void failWaiting();

 private:
  class Waiter;

  std::shared_ptr<Waiter> waiting_;
};

}  // namespace pm
