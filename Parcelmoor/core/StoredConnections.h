#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>

#include <optional>

#include "core/UploaderConfig.h"

namespace pm {

class SharedDefaults;

// "uploaderConfigs" as stored: the connections this version decodes, and the elements it does not (a kind
// from a newer version or from another computer by sync, a field it reads differently). The undecodable
// elements are kept as they were, each after the connection it followed, so writing a changed list puts
// them back in place instead of deleting what another version still needs.
class StoredConnections {
 public:
  // Empty when the data is no JSON array.
  static StoredConnections decode(const QByteArray& data);
  // What the suite holds under "uploaderConfigs"; empty when nothing (or something else) is stored, and
  // nothing when the suite could not be read just now.
  static std::optional<StoredConnections> load(const SharedDefaults& defaults);

  // The connections that decode, in stored order. An element stored without an identifier gets a fresh
  // one at each decoding.
  const QList<UploaderConfig>& configs() const { return configs_; }
  // The bytes this was decoded from.
  const QByteArray& data() const { return data_; }

  // `configs`, the list as it is to be stored, with every undecodable element back after the connection
  // it followed, or, when that connection is gone, after the nearest earlier one still there (first when
  // there is none). Nothing when a connection cannot be encoded.
  std::optional<QByteArray> encode(const QList<UploaderConfig>& configs) const;

 private:
  struct Undecodable {
    qsizetype after;  // index into configs_ of the connection it followed; -1: it came first
    QJsonValue element;
  };

  QByteArray data_;
  QList<UploaderConfig> configs_;
  QList<Undecodable> undecodable_;
};

}  // namespace pm
