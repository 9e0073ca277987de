#include "StoredConnections.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QUuid>

#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"

namespace pm {

StoredConnections StoredConnections::decode(const QByteArray& data) {
  StoredConnections stored;
  stored.data_ = data;
  const QJsonDocument document = QJsonDocument::fromJson(data);
  if (!document.isArray()) return stored;
  for (const QJsonValue& element : document.array()) {
    if (auto config = UploaderConfig::Readable::decode(element).config) {
      stored.configs_.append(std::move(*config));
    } else {
      stored.undecodable_.append(Undecodable{stored.configs_.size() - 1, element});
    }
  }
  return stored;
}

std::optional<StoredConnections> StoredConnections::load(const SharedDefaults& defaults) {
  const std::optional<QVariant> value = defaults.read(QString::fromLatin1(names::key::kUploaderConfigs));
  if (!value) return std::nullopt;
  if (value->typeId() != QMetaType::QByteArray) return StoredConnections();
  return decode(value->toByteArray());
}

std::optional<QByteArray> StoredConnections::encode(const QList<UploaderConfig>& configs) const {
  QSet<QUuid> kept;
  for (const UploaderConfig& config : configs) kept.insert(config.id);

  // Each undecodable element goes after the nearest connection before it that is still in the list.
  QList<QJsonValue> first;
  QHash<QUuid, QList<QJsonValue>> following;
  for (const Undecodable& item : undecodable_) {
    qsizetype anchor = item.after;
    while (anchor >= 0 && !kept.contains(configs_.at(anchor).id)) --anchor;
    if (anchor < 0) {
      first.append(item.element);
    } else {
      following[configs_.at(anchor).id].append(item.element);
    }
  }

  QJsonArray array;
  for (const QJsonValue& element : std::as_const(first)) array.append(element);
  for (const UploaderConfig& config : configs) {
    const auto object = config.toJson();
    if (!object) return std::nullopt;
    array.append(*object);
    // take(): two connections with one identifier put the elements after the first of them only.
    for (const QJsonValue& element : following.take(config.id)) array.append(element);
  }
  return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

}  // namespace pm
