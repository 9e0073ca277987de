#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QString>

#include <QCoroTask>

#include <chrono>
#include <stdexcept>

class QNetworkAccessManager;

namespace pm {

// No answer at all: the connection failed, broke off or timed out. Distinct from every answer a provider
// gives, so a connector can end a whole operation on it while it keeps a refusal with the one file.
class NetworkFailure final : public std::runtime_error {
 public:
  explicit NetworkFailure(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// A drive provider's answer, whatever its status.
struct HttpAnswer {
  int status = 0;  // 0: something answered, but not over HTTP
  QByteArray body;
  QList<QPair<QByteArray, QByteArray>> headers;

  // The value of a header field, found case-insensitively; empty when absent.
  QByteArray header(QByteArrayView name) const;
};

// The time-out of every request to a drive provider.
inline constexpr std::chrono::milliseconds kProviderRequestTimeout = std::chrono::seconds(60);

// Sends `body` with `method` and hands back the answer without judging its status. Throws NetworkFailure
// when no answer arrives, also when the transfer stalls for `timeout`.
QCoro::Task<HttpAnswer> exchange(QNetworkAccessManager& network, QNetworkRequest request, QByteArray method,
                                 QByteArray body = {}, std::chrono::milliseconds timeout = kProviderRequestTimeout);

}  // namespace pm
