#include "ConnectorBookkeeping.h"

#include <QSet>
#include <QStringList>
#include <QVariant>

#include <algorithm>

#include "core/ParcelmoorAPI.h"
#include "core/S3Credentials.h"
#include "core/UploaderConfig.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"

namespace pm {

namespace {

QString registeredKey() { return QString::fromLatin1(names::key::kRegisteredConnectors); }

// Identifiers compare in their canonical upper-case form, whichever case was stored.
QString canonical(const QString& text) {
  const QUuid id(text);
  return id.isNull() ? text : uuidText(id);
}

// The stored list as a set; anything but an array of text counts as empty.
QSet<QString> registeredSet(const QVariant& stored) {
  QSet<QString> set;
  if (stored.typeId() != QMetaType::QVariantList) return set;
  for (const QVariant& element : stored.toList()) {
    if (element.typeId() != QMetaType::QString) return {};
    set.insert(canonical(element.toString()));
  }
  return set;
}

QVariant storedForm(const QSet<QString>& set) {
  QStringList list(set.cbegin(), set.cend());
  list.sort();
  return list;
}

// Read afresh under the suite's lock, so a registration made while a request was out stays.
void changeRegistered(SharedDefaults& defaults, const std::function<void(QSet<QString>&)>& change) {
  defaults.update(registeredKey(), [&change](const QVariant& current) {
    QSet<QString> set = registeredSet(current);
    change(set);
    return storedForm(set);
  });
}

bool wantsConnector(const UploaderConfig& config) {
  const bool s3Like = config.kind == UploaderConfig::Kind::customS3 || config.kind == UploaderConfig::Kind::r2;
  return s3Like && config.parcelmoorDownloads;
}

}  // namespace

void markConnectorRegistered(SharedDefaults& defaults, const QUuid& connection) {
  const QString id = uuidText(connection);
  changeRegistered(defaults, [&id](QSet<QString>& set) { set.insert(id); });
}

QCoro::Task<> withdrawStaleConnectors(ParcelmoorAPI& api, SharedDefaults& defaults) {
  const QList<UploaderConfig> configs = UploaderConfig::loadAll(defaults);
  // The list always holds the own-service connection, so an empty one means it could not be read; judging
  // by it would withdraw every connector the user has.
  if (configs.isEmpty()) co_return;

  QSet<QString> wanted;
  for (const UploaderConfig& config : configs) {
    if (wantsConnector(config)) wanted.insert(uuidText(config.id));
  }
  QStringList stale = (registeredSet(defaults.object(registeredKey())) - wanted).values();
  stale.sort();

  for (const QString& id : stale) {
    const std::optional<QString> token = co_await api.sessionToken().load();
    if (!token) co_return;
    ParcelmoorAPI::Response response;
    try {
      response = co_await api.request(QStringLiteral("connectors/") + id, "DELETE", ParcelmoorAPI::Body::none(), token);
    } catch (...) {
      // Unreachable for now; the next pass tries again.
      continue;
    }
    const bool gone = response.status == 404 || (response.status >= 200 && response.status <= 299);
    if (!gone) {
      qCWarning(lcApi, "connector %s withdraw: HTTP %d", qUtf8Printable(id), response.status);
      continue;
    }
    changeRegistered(defaults, [&id](QSet<QString>& set) { set.remove(id); });
    qCInfo(lcApi, "connector %s withdrawn", qUtf8Printable(id));
  }
}

}  // namespace pm
