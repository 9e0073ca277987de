#include "InboxWatcher.h"

#include <QFile>
#include <QPointer>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstring>

#include "Log.h"

namespace pm {

namespace {

// The folder's entries, and a file in it that a writer has just closed: a file written in place is still
// empty when it is created, and nothing else tells when its content is complete.
constexpr uint32_t kEntryChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE;

// Events that count as a change. A queue overflow lost some of them, so it counts as one change too: the
// owner looks at the folder again either way.
int countChanges(const char* events, size_t length) {
  int changes = 0;
  size_t offset = 0;
  while (offset + sizeof(inotify_event) <= length) {
    inotify_event header;
    std::memcpy(&header, events + offset, sizeof header);
    if (header.mask & (kEntryChanges | IN_Q_OVERFLOW)) ++changes;
    offset += sizeof(inotify_event) + header.len;
  }
  return changes;
}

}  // namespace

InboxWatcher::InboxWatcher(const QString& folder, std::function<void()> onChange, QObject* parent)
    : QObject(parent), onChange_(std::move(onChange)) {
  if (folder.isEmpty()) {
    qCWarning(lcApp) << "No inbox folder to watch; batches are taken at launch and on reopen only";
    return;
  }
  FileDescriptor inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!inotify.isValid()) {
    qCWarning(lcApp) << "Cannot start watching the inbox:" << std::strerror(errno);
    return;
  }
  const QByteArray path = QFile::encodeName(folder);
  if (::inotify_add_watch(inotify.get(), path.constData(), kEntryChanges | IN_ONLYDIR) < 0) {
    qCWarning(lcApp) << "Cannot watch the inbox" << privateValue(folder) << std::strerror(errno);
    return;
  }
  inotify_ = std::move(inotify);
  notifier_ = std::make_unique<QSocketNotifier>(inotify_.get(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &InboxWatcher::readEvents);
}

InboxWatcher::~InboxWatcher() { cancel(); }

bool InboxWatcher::isWatching() const { return inotify_.isValid(); }

void InboxWatcher::cancel() {
  // The notifier stops polling before its descriptor is closed, so it never polls a closed (or reused) number.
  if (notifier_) notifier_->setEnabled(false);
  inotify_.reset();
}

void InboxWatcher::readEvents() {
  // Room for many events with the longest names; the kernel hands over whole events only.
  alignas(inotify_event) std::array<char, 16 * (sizeof(inotify_event) + NAME_MAX + 1)> buffer;
  int changes = 0;
  while (inotify_.isValid()) {
    const ssize_t length = ::read(inotify_.get(), buffer.data(), buffer.size());
    if (length > 0) {
      changes += countChanges(buffer.data(), size_t(length));
      continue;
    }
    if (length < 0 && errno == EINTR) continue;
    if (length < 0 && errno != EAGAIN) {
      qCWarning(lcApp) << "Stopped watching the inbox:" << std::strerror(errno);
      cancel();
    }
    break;
  }

  // The function may end the watcher's life; it runs from a copy and the round stops when that happens.
  const QPointer<InboxWatcher> alive(this);
  const std::function<void()> onChange = onChange_;
  for (int i = 0; i < changes && alive; ++i) onChange();
}

}  // namespace pm
