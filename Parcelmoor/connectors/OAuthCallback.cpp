#include "OAuthCallback.h"

#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <QCoroSignal>

#include <optional>
#include <variant>

#include "connectors/OAuthFailure.h"
#include "connectors/QueryItems.h"
#include "platform/Log.h"
#include "platform/Workspace.h"

namespace pm {

// One suspended sign-in: the state it expects, its time-out, and its outcome once settled.
class OAuthCallback::Waiter final : public QObject {
  Q_OBJECT

 public:
  explicit Waiter(QString expectedState) : state(std::move(expectedState)) { timer.setSingleShot(true); }

  void settle(std::variant<QString, OAuthFailure> result) {
    timer.stop();
    outcome = std::move(result);
    Q_EMIT settled();
  }

  const QString state;
  QTimer timer;
  std::optional<std::variant<QString, OAuthFailure>> outcome;

 Q_SIGNALS:
  void settled();
};

namespace {

struct RawUrl {
  QString host;
  std::optional<QString> query;
};

// Splits URL text as RFC 3986 appendix B does, without normalising anything (QUrl would lower-case the
// host). Nothing for text that is not a valid URL at all.
std::optional<RawUrl> splitUrl(const QString& text) {
  if (!QUrl(text, QUrl::StrictMode).isValid()) return std::nullopt;
  static const QRegularExpression pattern(
      QStringLiteral(R"(^(?:([^:/?#]+):)?(?://([^/?#]*))?([^?#]*)(?:\?([^#]*))?(?:#(.*))?$)"),
      QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = pattern.match(text);
  if (!match.hasMatch()) return std::nullopt;
  QString host = match.captured(2);
  host = host.mid(host.lastIndexOf(QLatin1Char('@')) + 1);
  const qsizetype colon = host.indexOf(QLatin1Char(':'));
  if (colon >= 0) host.truncate(colon);
  RawUrl url{host, std::nullopt};
  if (match.capturedStart(4) >= 0) url.query = match.captured(4);
  return url;
}

}  // namespace

OAuthCallback::OAuthCallback(QObject* parent) : QObject(parent) {}

OAuthCallback::~OAuthCallback() { failWaiting(); }

void OAuthCallback::failWaiting() {
  const std::shared_ptr<Waiter> waiter = std::move(waiting_);
  waiting_.reset();
  if (waiter) waiter->settle(OAuthFailure::noAnswer());
}

QCoro::Task<QString> OAuthCallback::code(QString state, std::chrono::milliseconds timeout) {
  failWaiting();
  const auto waiter = std::make_shared<Waiter>(std::move(state));
  waiting_ = waiter;
  connect(&waiter->timer, &QTimer::timeout, this, [this, raw = waiter.get()] {
    if (waiting_.get() == raw) failWaiting();
  });
  waiter->timer.start(timeout);

  co_await qCoro(waiter.get(), &Waiter::settled);

  if (const auto* failure = std::get_if<OAuthFailure>(&*waiter->outcome)) throw *failure;
  co_return std::get<QString>(*waiter->outcome);
}

QCoro::Task<QString> OAuthCallback::codeFromPage(Workspace& workspace, QUrl page, QString state,
                                                 std::chrono::milliseconds timeout) {
  QCoro::Task<QString> waiting = code(std::move(state), timeout);
  workspace.openUrl(page);
  co_return co_await std::move(waiting);
}

bool OAuthCallback::handle(const QString& url) {
  const std::optional<RawUrl> parts = splitUrl(url);
  if (!parts || parts->host != QLatin1String("oauth")) return false;
  if (!parts->query) return false;
  const QList<QueryItem> items = parseQueryItems(*parts->query);
  if (items.isEmpty()) return false;
  if (!waiting_) {
    qCInfo(lcOAuth, "an oauth callback arrived with nobody waiting for one");
    return false;
  }
  if (firstQueryValue(items, u"state") != waiting_->state) {
    qCWarning(lcOAuth, "an oauth callback arrived with the wrong state; ignoring it");
    return false;
  }

  const std::shared_ptr<Waiter> waiter = std::move(waiting_);
  waiting_.reset();
  const std::optional<QString> code = firstQueryValue(items, u"code");
  if (code && !code->isEmpty()) {
    waiter->settle(*code);
  } else {
    // The provider writes its texts form-encoded: "+" stands for a space there.
    const QList<QueryItem> texts = parseQueryItems(*parts->query, PlusSign::space);
    std::optional<QString> text = firstQueryValue(texts, u"error_description");
    if (!text) text = firstQueryValue(texts, u"error");
    waiter->settle(OAuthFailure::refused(text.value_or(signInRefusedText())));
  }
  return true;
}

}  // namespace pm

#include "OAuthCallback.moc"
