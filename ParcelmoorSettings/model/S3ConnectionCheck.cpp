#include "S3ConnectionCheck.h"

#include <QCoreApplication>

#include "connectors/HttpExchange.h"
#include "platform/Clock.h"
#include "platform/NetworkRequest.h"
#include "upload/CustomS3Uploader.h"
#include "upload/S3Signer.h"

namespace pm::settings {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("S3ConnectionCheck", text);
}

constexpr qint64 kListingLifetimeSeconds = 21'600;

}  // namespace

std::optional<QUrl> s3ListingURL(const UploaderConfig& config, const S3Credentials& credentials,
                                 const QDateTime& date) {
  const std::optional<QUrl> bucket = S3Signer::objectURL(config.endpoint, config.bucketName, QString());
  if (!bucket) return std::nullopt;
  const QString region = config.region.isEmpty() ? QStringLiteral("auto") : config.region;
  const S3Signer signer(credentials.accessKeyID, credentials.secretAccessKey, region);
  const S3Signer::QueryItems listing{{QStringLiteral("list-type"), QStringLiteral("2")},
                                     {QStringLiteral("max-keys"), QStringLiteral("1")}};
  return signer.presign(QStringLiteral("GET"), *bucket, listing, kListingLifetimeSeconds, date);
}

QString s3FailureText(int status, const QByteArray& body) {
  // An empty "Message" would leave a failure without words; the status says more.
  const std::optional<QString> message = xmlValue(u"Message", body);
  return message && !message->isEmpty() ? *message : s3StatusMessage(status);
}

QCoro::Task<std::optional<QString>> testS3Connection(UploaderConfig config, QNetworkAccessManager& network,
                                                     const Keychain& keychain, const Clock& clock,
                                                     std::chrono::milliseconds timeout) {
  const std::optional<S3Credentials> credentials = S3Credentials::load(keychain, config.id);
  if (config.endpoint.isEmpty() || config.bucketName.isEmpty() || !credentials ||
      credentials->accessKeyID.isEmpty() || credentials->secretAccessKey.isEmpty())
    co_return translated("Missing credentials.");
  const std::optional<QUrl> url = s3ListingURL(config, *credentials, clock.now());
  if (!url) co_return translated("The endpoint could not be read as an address.");
  try {
    const HttpAnswer answer = co_await exchange(network, networkRequest(*url), "GET", {}, timeout);
    if (answer.status == 0) co_return translated("The storage service sent an unexpected response.");
    if (answer.status < 200 || answer.status > 299) co_return s3FailureText(answer.status, answer.body);
  } catch (const std::exception& error) {
    co_return QString::fromUtf8(error.what());
  }
  co_return std::nullopt;
}

}  // namespace pm::settings
