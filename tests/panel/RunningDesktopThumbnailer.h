#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

#include "platform/DBusCall.h"
#include "platform/DesktopThumbnailer.h"
#include "support/TestSupport.h"

namespace pm::test {

// Starts the desktop's thumbnailer service if it is not running and waits until it answers; false when it
// does not within the hang bound. Its first start in a home of its own builds the media framework's
// registry of plugins before it answers, seconds of work a busy machine can stretch past the program's
// cap; a desktop does that once, not for every file. A test that holds the rendering of a document to the
// program's cap starts from a service that answers, so that the cap covers the rendering.
inline bool desktopThumbnailerAnswers() {
  const QDBusMessage question = QDBusMessage::createMethodCall(
      DesktopThumbnailer::kService, QStringLiteral("/org/freedesktop/thumbnails/Thumbnailer1"),
      QStringLiteral("org.freedesktop.thumbnails.Thumbnailer1"), QStringLiteral("GetSupported"));
  // The bus gives up on the call at the hang bound; the wait only outlasts it.
  const QDBusMessage reply = wait(callDBus(QDBusConnection::sessionBus(), question, kHangBound), 2 * kHangBound);
  return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace pm::test
