#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <optional>

namespace pm {

class ParcelmoorAPI;

// Asks the service for a link to the user's billing portal.
class BillingPortal {
 public:
  struct Portal {
    QString url;
    // Throws JsonDecodingError when "url" is missing or not text.
    static Portal decode(const QByteArray& body);
  };

  explicit BillingPortal(ParcelmoorAPI& api) : api_(api) {}

  // Nothing when the service gives no usable link; failures are logged, never thrown.
  QCoro::Task<std::optional<QUrl>> url(QString token);

 private:
  ParcelmoorAPI& api_;
};

}  // namespace pm
