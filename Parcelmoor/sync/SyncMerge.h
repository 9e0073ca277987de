#pragma once

#include <QStringList>

#include "sync/SyncPayload.h"

namespace pm {

// How two computers' synced settings become one. Every conflict goes to the later date; on equal dates
// this computer's side (`local`) wins. A connection's record goes by its date of last change, and its four
// credentials together by theirs, each to the later side: a credential renewed on one computer and an edit
// made on another both survive. Every merged entry carries its credential date.
//
// A connection stays unless a tombstone at least as new as its last change removes it; one without a
// tombstone always stays, whatever its date (a connection stored without a date must not vanish when
// it was deleted nowhere). The result is sorted by last change, oldest first; no tombstone is dropped
// for its age here. What either side holds unread is kept, unweighed: nothing another version wrote is
// lost by a merge on this one.
SyncPayload merge(const SyncPayload& local, const SyncPayload& other);

// The same connections (compared by their records and credential dates, without the credentials, in any
// order), the same tombstones and the same preferences with the same dates, as the two would be stored:
// also the same unread elements.
bool hasSameContent(const SyncPayload& one, const SyncPayload& other);

// Which parts of two payloads differ, from "connections" (in payload order), "deletions" and
// "preferences", in this order.
QStringList differingParts(const SyncPayload& one, const SyncPayload& other);

}  // namespace pm
