#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>
#include <QUuid>

#include "upload/UploadTypes.h"

namespace pm {

// A unit's destination while the unit waits for its turn to upload. The address is kept as its encoded
// text, one small block instead of a parsed URL's several: a large batch registers far faster than it
// uploads, so a hundred thousand of these may wait at once. destination() gives back an equal value.
class WaitingDestination {
 public:
  explicit WaitingDestination(const UploadDestination& destination);

  const QUuid& unitID() const { return unitID_; }
  UploadDestination destination() const;

 private:
  QUuid unitID_;
  QByteArray encodedURL_;
  // Only for an address its encoded text would not give back (an invalid one keeps its error this way).
  QUrl url_;
  QString method_;
  QMap<QString, QString> headers_;
};

}  // namespace pm
