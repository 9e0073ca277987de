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

// Shares files that already lie in the user's own bucket: hands the service the connector (the bucket
// and its key pair, sent again on every registration and then remembered under "registeredConnectors"),
// seals the list of `files` under a fresh password and registers the box under `idempotencyKey`, so a
// repeated finish of the same bucket makes no second box. Returns the link with the password in its
// display form; the password itself goes nowhere else. Main thread only. Throws UploadError.
QCoro::Task<ResponseItem> registerBox(ParcelmoorAPI& api, SharedDefaults& defaults, UploaderConfig config,
                                      S3Credentials credentials, QString prefix, QList<PMRM1::File> files,
                                      QUuid idempotencyKey);

}  // namespace pm
