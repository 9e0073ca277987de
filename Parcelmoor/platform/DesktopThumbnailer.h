#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <chrono>
#include <optional>

#include "platform/Async.h"

namespace pm {

// A client of the desktop's thumbnailer service (org.freedesktop.thumbnails.Thumbnailer1, which file
// managers use too): it asks the service to render a file's content into the shared thumbnail cache, from
// where the caller reads it. Without a service, or for a type it cannot render, the answer is a quick "no".
// Main thread only.
class DesktopThumbnailer final : public QObject {
  Q_OBJECT

 public:
  // The cache's folders the service writes: "normal" holds 128 pixels, "large" 256, "x-large" 512 and
  // "xx-large" 1024.
  enum class Flavor { normal, large, xLarge, xxLarge };

  static const QString kService;

  explicit DesktopThumbnailer(QDBusConnection connection = QDBusConnection::sessionBus(),
                              QString service = kService, QObject* parent = nullptr);

  // The instance the program's thumbnails share.
  static DesktopThumbnailer& shared();

  // The smallest flavour whose pictures are at least `pixelSize` wide, else the largest.
  static Flavor flavorFor(int pixelSize);
  // The longer side of the flavour's pictures, and the name of its folder (which the service takes too).
  static int pixelsOf(Flavor flavor);
  static QString nameOf(Flavor flavor);

  // Asks for the thumbnail of the local file `path` of type `mimeType`. True once the service reports it
  // stored; false when no service answers, it does not render this type, it fails, or `bound` passes first.
  // Once `cancel` is cancelled the wait ends with false and the request is withdrawn from the service, so
  // that it renders nothing nobody waits for.
  QCoro::Task<bool> make(QString path, QString mimeType, Flavor flavor, std::chrono::milliseconds bound,
                         CancelTokenPtr cancel = nullptr);

 Q_SIGNALS:
  void requestFinished(uint handle);

 private Q_SLOTS:
  void onReady(uint handle, const QStringList& uris);
  void onError(uint handle, const QStringList& failedUris, int code, const QString& message);
  void onFinished(uint handle);

 private:
  QCoro::Task<bool> renders(QString mimeType, std::chrono::milliseconds bound);
  void withdraw(uint handle);

  QDBusConnection connection_;
  QString service_;
  // The types the service renders for local files, once asked; empty when no service answered.
  std::optional<QSet<QString>> mimeTypes_;
  // Requests being waited for: whether the service reported the picture stored, and whether it is done.
  struct Pending {
    bool made = false;
    bool finished = false;
  };
  QHash<uint, Pending> pending_;
  // The service signals a request's end right after its reply to the request, and the reply resumes the
  // caller only on a later turn of the event loop: until then the handle is unknown. While requests are
  // on their way, what the service says of unknown handles is kept here for the caller to collect. The
  // service's signals reach every client, so this is emptied as soon as no request is on its way.
  int queueing_ = 0;
  QHash<uint, Pending> early_;
};

}  // namespace pm
