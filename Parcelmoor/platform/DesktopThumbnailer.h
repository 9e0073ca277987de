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

namespace pm {

// A client of the desktop's thumbnailer service (org.freedesktop.thumbnails.Thumbnailer1, which file
// managers use too): it asks the service to render a file's content into the shared thumbnail cache, from
// where the caller reads it. Without a service, or for a type it cannot render, the answer is a quick "no".
// Main thread only.
class DesktopThumbnailer final : public QObject {
  Q_OBJECT

 public:
  // The cache's folders the service writes: "normal" holds 128 pixels, "large" 256.
  enum class Flavor { normal, large };

  static const QString kService;

  explicit DesktopThumbnailer(QDBusConnection connection = QDBusConnection::sessionBus(),
                              QString service = kService, QObject* parent = nullptr);

  // The instance the program's thumbnails share.
  static DesktopThumbnailer& shared();

  // The smallest flavour whose pictures are at least `pixelSize` wide, else the largest.
  static Flavor flavorFor(int pixelSize);

  // Asks for the thumbnail of the local file `path` of type `mimeType`. True once the service reports it
  // stored; false when no service answers, it does not render this type, it fails, or `bound` passes first.
  QCoro::Task<bool> make(QString path, QString mimeType, Flavor flavor, std::chrono::milliseconds bound);

 Q_SIGNALS:
  void requestFinished(uint handle);

 private Q_SLOTS:
  void onReady(uint handle, const QStringList& uris);
  void onError(uint handle, const QStringList& failedUris, int code, const QString& message);
  void onFinished(uint handle);

 private:
  QCoro::Task<bool> renders(QString mimeType, std::chrono::milliseconds bound);

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
};

}  // namespace pm
