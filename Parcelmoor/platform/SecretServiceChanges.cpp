#include "SecretServiceChanges.h"

#include <QDBusMessage>

#include "Log.h"

namespace pm {

namespace {
constexpr auto kCollectionInterface = "org.freedesktop.Secret.Collection";
constexpr const char* kItemSignals[] = {"ItemCreated", "ItemChanged", "ItemDeleted"};
}  // namespace

SecretServiceChanges::SecretServiceChanges(QDBusConnection connection, QObject* parent)
    : QObject(parent), connection_(std::move(connection)) {
  // Any sender and any collection: the item may live in whichever collection the service chose.
  for (const char* member : kItemSignals) {
    if (!connection_.connect(QString(), QString(), QLatin1String(kCollectionInterface), QLatin1String(member),
                             this, SLOT(onItemSignal(QDBusMessage))))
      qCWarning(lcKeychain, "cannot follow the Secret Service's %s signal", member);
  }
}

void SecretServiceChanges::onItemSignal(const QDBusMessage&) { Q_EMIT changed(); }

}  // namespace pm
