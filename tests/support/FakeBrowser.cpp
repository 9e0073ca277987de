#include "FakeBrowser.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

namespace pm::test {

bool FakeBrowser::openUrl(const QUrl& url) {
  opened_.append(url);
  const QUrlQuery page(url);
  const QUrl redirect(page.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
  if (reply_ == Reply::nothing || !redirect.isValid() || redirect.isEmpty()) return true;

  QList<QUrl> visits;
  if (iconFirst_) visits.append(redirect.resolved(QUrl(QStringLiteral("/favicon.ico"))));
  QUrl answer = redirect;
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("state"), page.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded));
  query.addQueryItem(reply_ == Reply::code ? QStringLiteral("code") : QStringLiteral("error"), value_);
  answer.setQuery(query);
  if (redirect.scheme() != QLatin1String("http") && redirect.scheme() != QLatin1String("https")) {
    if (ownScheme_) QTimer::singleShot(0, &network_, [opener = ownScheme_, answer] { opener(answer); });
    return true;
  }
  visits.append(answer);
  visit(std::move(visits));
  return true;
}

// One after another, as a browser loads the icon and then the page.
void FakeBrowser::visit(QList<QUrl> urls) {
  if (urls.isEmpty()) return;
  QNetworkReply* reply = network_.get(QNetworkRequest(urls.takeFirst()));
  QObject::connect(reply, &QNetworkReply::finished, &network_, [this, reply, rest = std::move(urls)] {
    pages_.append(reply->readAll());
    reply->deleteLater();
    visit(rest);
  });
}

}  // namespace pm::test
