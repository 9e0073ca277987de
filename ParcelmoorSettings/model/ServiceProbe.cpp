#include "ServiceProbe.h"

#include <QCoreApplication>

#include "connectors/GoogleEndpoints.h"
#include "connectors/HttpExchange.h"
#include "platform/NetworkRequest.h"

namespace pm::settings {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("ServiceProbe", text);
}

}  // namespace

QCoro::Task<std::optional<QString>> testParcelmoorConnection(QNetworkAccessManager& network, QUrl serviceBase,
                                                             std::chrono::milliseconds timeout) {
  const QUrl url = GoogleEndpoints::resolve(serviceBase, QStringLiteral("/api/me"));
  try {
    const HttpAnswer answer = co_await exchange(network, networkRequest(url), "GET", {}, timeout);
    if (answer.status == 0) co_return translated("Parcelmoor sent an unexpected response.");
    if (answer.status >= 500) co_return translated("Parcelmoor responded with HTTP %1.").arg(answer.status);
  } catch (const std::exception& error) {
    co_return QString::fromUtf8(error.what());
  }
  co_return std::nullopt;
}

}  // namespace pm::settings
