#pragma once

class QClipboard;

namespace pm {

struct ResponseItem;
class UserNotifications;

// Hands the outcome of a finished bucket to the user: the share link (with the box's password on a second
// line) replaces what the clipboard held, and a notification says what happened, and how many files the
// share lacks when any failed (the log names them). An outcome without a link leaves the clipboard alone.
// Without a notifier only the clipboard is written.
void shareFinishedBucket(const ResponseItem& result, QClipboard& clipboard, UserNotifications* notifications);

}  // namespace pm
