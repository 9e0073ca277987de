#pragma once

#include <QJsonObject>

namespace pm::dev {

class StoreTransaction;

// Carries the state an earlier version of the service kept as one JSON object into the database:
// sessions (also those kept with their tokens in clear, which go on by hash), accounts, buckets with their
// files and part tags, connectors, boxes, synced copies and the pairings still open.
void importJsonState(const QJsonObject& state, StoreTransaction& into);

// `state` with the session tokens that very early versions kept in clear replaced by their hashes, as the
// copy that is kept aside should hold them.
QJsonObject withTokensHashed(QJsonObject state);

}  // namespace pm::dev
