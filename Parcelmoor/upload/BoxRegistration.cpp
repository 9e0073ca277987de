#include "BoxRegistration.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QThread>

#include "core/ConnectorBookkeeping.h"
#include "core/Identifiers.h"
#include "core/JsonDecoding.h"
#include "core/ParcelmoorAPI.h"
#include "core/UploadError.h"
#include "platform/Log.h"

namespace pm {

namespace {

QString regionOrAuto(const QString& region) { return region.isEmpty() ? QStringLiteral("auto") : region; }

QJsonObject connectorBody(const UploaderConfig& config, const S3Credentials& credentials) {
  return QJsonObject{
      {QStringLiteral("connectorId"), uuidText(config.id)},
      {QStringLiteral("type"), connectorType(config.kind)},
      {QStringLiteral("endpoint"), config.endpoint},
      {QStringLiteral("bucket"), config.bucketName},
      {QStringLiteral("region"), regionOrAuto(config.region)},
      {QStringLiteral("accessKeyId"), credentials.accessKeyID},
      {QStringLiteral("secretAccessKey"), credentials.secretAccessKey},
  };
}

QJsonObject boxBody(const UploaderConfig& config, const QString& prefix, const PMRM1::Sealed& sealed,
                    qsizetype fileCount, const QUuid& idempotencyKey) {
  return QJsonObject{
      {QStringLiteral("kind"), connectorType(config.kind)},
      {QStringLiteral("connectorId"), uuidText(config.id)},
      {QStringLiteral("prefix"), prefix},
      {QStringLiteral("manifest"), QString::fromLatin1(sealed.manifest.toBase64())},
      {QStringLiteral("verifierHash"), sealed.verifierHash},
      {QStringLiteral("fileCount"), qint64(fileCount)},
      {QStringLiteral("idempotencyKey"), uuidText(idempotencyKey)},
  };
}

struct BoxResponse {
  QString id;
  QUrl url;
};

BoxResponse decodeBoxResponse(const QByteArray& body) {
  const UploadError unreadable = UploadError::transport(
      QCoreApplication::translate("BoxRegistration", "The service sent a share link we could not read."));
  try {
    const QJsonObject object = decodeJsonObject(body);
    QString id = requiredString(object, u"id");
    const std::optional<QUrl> url = absoluteUrl(requiredString(object, u"url"));
    if (!url) throw unreadable;
    return {std::move(id), *url};
  } catch (const JsonDecodingError&) {
    throw unreadable;
  }
}

}  // namespace

QString connectorType(UploaderConfig::Kind kind) {
  switch (kind) {
    case UploaderConfig::Kind::r2: return QStringLiteral("r2");
    case UploaderConfig::Kind::ftp: return QStringLiteral("ftp");
    case UploaderConfig::Kind::icloud: return QStringLiteral("icloud");
    case UploaderConfig::Kind::googleDrive: return QStringLiteral("drive");
    case UploaderConfig::Kind::oneDrive: return QStringLiteral("onedrive");
    case UploaderConfig::Kind::dropbox: return QStringLiteral("dropbox");
    case UploaderConfig::Kind::parcelmoor:
    case UploaderConfig::Kind::customS3: break;
  }
  return QStringLiteral("s3");
}

namespace {

// The service gets the key pair again every time, so a key the user rotated reaches it too.
QCoro::Task<> registerConnector(ParcelmoorAPI& api, SharedDefaults& defaults, const UploaderConfig& config,
                                const S3Credentials& credentials) {
  const QString connectorsPath = QStringLiteral("connectors");
  const QByteArray put = "PUT";
  const std::optional<QJsonValue> connector = QJsonValue(connectorBody(config, credentials));
  co_await api.authorizedRequest(connectorsPath, put, connector);
  markConnectorRegistered(defaults, config.id);
}

QCoro::Task<ResponseItem> postBox(ParcelmoorAPI& api, const UploaderConfig& config, const QString& prefix,
                                  const SealedBox& box) {
  const QString boxesPath = QStringLiteral("boxes");
  const QByteArray post = "POST";
  const std::optional<QJsonValue> body =
      QJsonValue(boxBody(config, prefix, box.sealed, box.files.size(), box.idempotencyKey));
  const QByteArray answer = co_await api.authorizedRequest(boxesPath, post, body);
  const BoxResponse registered = decodeBoxResponse(answer);

  qCInfo(lcUpload, "box %s registered: %lld files", qUtf8Printable(registered.id), qlonglong(box.files.size()));
  co_return ResponseItem::copiedBox(registered.url, PMRM1::formatPassword(box.password));
}

}  // namespace

QCoro::Task<SealedBox> sealBox(QList<PMRM1::File> files, QUuid idempotencyKey) {
  QString password = PMRM1::makePassword();
  PMRM1::Sealed sealed = co_await PMRM1::seal(files, password);
  co_return SealedBox{std::move(files), std::move(password), std::move(sealed), idempotencyKey};
}

QCoro::Task<ResponseItem> registerBox(ParcelmoorAPI& api, SharedDefaults& defaults, UploaderConfig config,
                                      S3Credentials credentials, QString prefix, SealedBox box) {
  Q_ASSERT(QThread::currentThread() == api.thread());
  co_await registerConnector(api, defaults, config, credentials);
  co_return co_await postBox(api, config, prefix, box);
}

QCoro::Task<ResponseItem> registerBox(ParcelmoorAPI& api, SharedDefaults& defaults, UploaderConfig config,
                                      S3Credentials credentials, QString prefix, QList<PMRM1::File> files,
                                      QUuid idempotencyKey) {
  Q_ASSERT(QThread::currentThread() == api.thread());
  co_await registerConnector(api, defaults, config, credentials);
  const SealedBox box = co_await sealBox(std::move(files), idempotencyKey);
  co_return co_await postBox(api, config, prefix, box);
}

}  // namespace pm
