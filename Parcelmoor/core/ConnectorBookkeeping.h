#pragma once

#include <QUuid>

#include <QCoroTask>

namespace pm {

class Keychain;
class ParcelmoorAPI;
class SharedDefaults;

// Remembers (under "registeredConnectors") that the service now holds the storage connector of
// `connection`. Marking twice keeps one entry.
void markConnectorRegistered(SharedDefaults& defaults, const QUuid& connection);

// Withdraws from the service every registered connector whose connection no longer wants one: deleted,
// shareable links off, or no longer S3 or R2. An identifier leaves the list only once the service has
// let go of it (2xx or 404); without a session token the pass stops and the list stays as it is.
QCoro::Task<> withdrawStaleConnectors(ParcelmoorAPI& api, SharedDefaults& defaults);

}  // namespace pm
