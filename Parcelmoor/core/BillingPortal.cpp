#include "BillingPortal.h"

#include "core/JsonDecoding.h"
#include "core/ParcelmoorAPI.h"
#include "platform/Log.h"

namespace pm {

BillingPortal::Portal BillingPortal::Portal::decode(const QByteArray& body) {
  return Portal{requiredString(decodeJsonObject(body), u"url")};
}

QCoro::Task<std::optional<QUrl>> BillingPortal::url(QString token) {
  ParcelmoorAPI::Response response;
  try {
    response = co_await api_.request(QStringLiteral("billing"), "POST",
                                     ParcelmoorAPI::Body::form(QStringLiteral("intent=portal&return=app")), token);
  } catch (...) {
    qCWarning(lcAuth, "billing portal unreachable");
    co_return std::nullopt;
  }
  if (response.status == 200) {
    try {
      // A link that is no URL (an empty text) is simply no portal; the service did answer.
      co_return absoluteUrl(Portal::decode(response.body).url);
    } catch (const JsonDecodingError&) {
    }
  }
  qCInfo(lcAuth, "no billing portal: HTTP %d", response.status);
  co_return std::nullopt;
}

}  // namespace pm
