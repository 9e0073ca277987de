#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <QCoroTask>

#include "core/S3Credentials.h"
#include "core/UploaderConfig.h"
#include "upload/BoxManifest.h"
#include "upload/UploadTypes.h"

namespace pm {

class ParcelmoorAPI;
class SharedDefaults;

// The storage type the service knows a connection's kind by ("s3", "r2", "ftp", "icloud", "drive",
// "onedrive", "dropbox"); the own service and custom S3 are both "s3".
QString connectorType(UploaderConfig::Kind kind);

// A box ready to register: its list of files sealed under a password, and the idempotency key the
// service knows it by. Kept by its uploader, so a finish repeated after a lost answer sends the very box
// the service may already hold, and the password handed out is the one that opens it.
struct SealedBox {
  QList<PMRM1::File> files;
  QString password;  // ungrouped
  PMRM1::Sealed sealed;
  QUuid idempotencyKey;
};

// Makes a fresh password and seals `files` under it (the key derivation runs on a worker). Throws
// UploadError.
QCoro::Task<SealedBox> sealBox(QList<PMRM1::File> files, QUuid idempotencyKey);

// Shares files that already lie in the user's own bucket: hands the service the connector (the bucket
// and its key pair, sent again on every registration and then remembered under "registeredConnectors")
// and registers `box` under its idempotency key, so a repeated finish of the same bucket makes no second
// box. Returns the link with the box's password in its display form; the password itself goes nowhere
// else. Main thread only. Throws UploadError.
QCoro::Task<ResponseItem> registerBox(ParcelmoorAPI& api, SharedDefaults& defaults, UploaderConfig config,
                                      S3Credentials credentials, QString prefix, SealedBox box);
// As above for a box sealed under a fresh password between the connector and the box request.
QCoro::Task<ResponseItem> registerBox(ParcelmoorAPI& api, SharedDefaults& defaults, UploaderConfig config,
                                      S3Credentials credentials, QString prefix, QList<PMRM1::File> files,
                                      QUuid idempotencyKey);

}  // namespace pm
