#pragma once

#include <QCoroTask>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

#include "core/S3Credentials.h"
#include "core/UploaderConfig.h"

class QNetworkAccessManager;

namespace pm {
class Clock;
class Keychain;
}  // namespace pm

namespace pm::settings {

// The presigned request of the S3/R2 check: a listing of at most one key ("list-type=2&max-keys=1") of
// the connection's bucket, valid for six hours from `date`, signed for the connection's region ("auto"
// when empty). Nothing when the endpoint makes no URL.
std::optional<QUrl> s3ListingURL(const UploaderConfig& config, const S3Credentials& credentials,
                                 const QDateTime& date);

// What a refused listing tells the user: the error document's "Message", else the status's own text.
QString s3FailureText(int status, const QByteArray& body);

// The test of a custom S3 or R2 connection: one signed listing request with the stored key pair. Nothing
// on a 2xx answer, else the text to show ("Missing credentials.", "The endpoint could not be read as an
// address.", the storage service's words, or the network's). Never throws; writes nothing.
QCoro::Task<std::optional<QString>> testS3Connection(
    UploaderConfig config, QNetworkAccessManager& network, const Keychain& keychain, const Clock& clock,
    std::chrono::milliseconds timeout = std::chrono::seconds(15));

}  // namespace pm::settings
