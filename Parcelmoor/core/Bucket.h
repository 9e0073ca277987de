#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

#include "core/BucketItemNotifier.h"
#include "core/UploadError.h"
#include "platform/ShardedHash.h"

namespace pm {

class Bucket;
class Clock;

// One dropped file or folder: what the tile shows and what the upload session moves along. Lives on the
// main thread. Every setter stores a value equal to the current one silently and notifies otherwise, so a
// view that repaints on a signal never repaints for nothing. A plain value rather than a QObject, since a
// bucket may hold a hundred thousand of them: whoever follows one item asks it for its notifier, and the
// bucket tells of every item's changes at once.
class BucketItem final {
 public:
  class State {
   public:
    enum class Case { uploading, registering, uploaded, failed };

    State() = default;  // registering
    static State uploading(double fraction) { return State(Case::uploading, fraction); }
    static State registering() { return State(Case::registering); }
    static State uploaded() { return State(Case::uploaded); }
    static State failed() { return State(Case::failed); }

    Case kind() const { return kind_; }
    // The progress from 0.0 to 1.0 while uploading; 0.0 in every other case.
    double fraction() const { return fraction_; }

    bool operator==(const State&) const = default;

   private:
    explicit State(Case kind, double fraction = 0.0) : kind_(kind), fraction_(fraction) {}

    Case kind_ = Case::registering;
    double fraction_ = 0.0;
  };

  // Errors met while uploading, keyed by the path inside the item they concern (or the item's name).
  using Errors = QMap<QString, QList<UploadError>>;

  // `url` is a local file path, kept exactly as given. Reads only whether it is a folder.
  BucketItem(QString url, QDateTime addedAt);
  // The same with whether it is a folder already read, so nothing touches the disk.
  BucketItem(QString url, QDateTime addedAt, bool isDirectory);
  ~BucketItem();
  BucketItem(const BucketItem&) = delete;
  BucketItem& operator=(const BucketItem&) = delete;

  const QUuid& id() const { return id_; }
  const QString& url() const { return url_; }
  const QString& name() const { return name_; }
  bool isDirectory() const { return isDirectory_; }
  const QDateTime& addedAt() const { return addedAt_; }
  // Whether the user has to approve the item before it is sent; never true for a folder.
  bool isSensitive() const { return isSensitive_; }

  const State& state() const { return state_; }
  void setState(const State& state);
  const Errors& errors() const { return errors_; }
  void setErrors(Errors errors);
  bool consented() const { return consented_; }
  void setConsented(bool consented);

  // The signals of this item, made on the first call and shared by every holder until the last lets go.
  std::shared_ptr<BucketItemNotifier> notifier();

 private:
  friend class Bucket;
  void notifyOwner();

  // The bucket that holds the item, told of every change so that a view following all items needs one
  // connection instead of one per item; none once the item is removed or the bucket is gone.
  Bucket* owner_ = nullptr;
  const QUuid id_;
  const QString url_;
  const QString name_;
  const QDateTime addedAt_;
  State state_;
  Errors errors_;
  // Not owned: the holders of notifier() own it. A plain pointer rather than a weak one, so an item that
  // was once on screen keeps nothing of its notifier once the tile is gone.
  BucketItemNotifier* notifier_ = nullptr;
  // The flags last, side by side, so they share one word instead of each padding out its own.
  const bool isDirectory_;
  const bool isSensitive_;
  bool consented_ = false;
};

// One collection of files and folders uploaded together and handed back as one share link. Lives on the
// main thread; items are shared so that a view or a running upload may still hold one after its removal.
class Bucket final : public QObject {
  Q_OBJECT

 public:
  class State {
   public:
    enum class Case { open, completed };

    State() = default;  // open
    static State open() { return State(); }
    static State completed(std::optional<QUrl> share) { return State(Case::completed, std::move(share)); }

    Case kind() const { return kind_; }
    bool isOpen() const { return kind_ == Case::open; }
    // The link handed back on completion; none while open or when the connection gives none.
    const std::optional<QUrl>& share() const { return share_; }

    bool operator==(const State&) const = default;

   private:
    State(Case kind, std::optional<QUrl> share) : kind_(kind), share_(std::move(share)) {}

    Case kind_ = Case::open;
    std::optional<QUrl> share_;
  };

  using ItemPointer = std::shared_ptr<BucketItem>;

  // A new, empty, open bucket stamped with the clock's time. The clock must outlive the bucket: items
  // added later take their time from it.
  explicit Bucket(const Clock& clock, QObject* parent = nullptr);
  ~Bucket() override;

  const QUuid& id() const { return id_; }
  const QDateTime& createdAt() const { return createdAt_; }
  // In the order they were added.
  const QList<ItemPointer>& items() const { return items_; }
  // The first item with this identifier, or null.
  ItemPointer item(const QUuid& id) const;

  const State& state() const { return state_; }
  void setState(const State& state);

  // Appends an item for each path not in the bucket yet (paths compare as plain text; a path repeated in
  // `urls` counts once) and returns the new items in the order of `urls`. An open bucket always notifies,
  // even when nothing was new; a bucket that is not open returns nothing and stays as it is.
  QList<ItemPointer> add(const QStringList& urls);
  // The same with whether each path is a folder already read (see whichAreFolders), one for each of
  // `urls`, so that adding touches no disk on the main thread.
  QList<ItemPointer> add(const QStringList& urls, const QList<bool>& folders);
  // Removes and returns the first item with this identifier from an open bucket; null otherwise.
  ItemPointer removeItem(const QUuid& id);
  // These two work in every bucket state; an unknown identifier is ignored.
  void setState(const QUuid& itemID, const BucketItem::State& state);
  void recordError(const QUuid& itemID, const QString& path, const UploadError& error);

 Q_SIGNALS:
  void itemsChanged();
  void stateChanged();
  // An item held now changed its state or consent (after the item's own signal).
  void itemChanged(const pm::BucketItem& item);

 private:
  qsizetype indexOf(const QUuid& itemID) const;

  const Clock& clock_;
  const QUuid id_;
  const QDateTime createdAt_;
  QList<ItemPointer> items_;
  // The same items by identifier and by path, so a lookup or an add costs the same in a bucket of any size;
  // split in parts, so that their growth never holds the bar still while a large batch enters.
  ShardedHash<QHash<QUuid, ItemPointer>> byID_;
  ShardedHash<QSet<QString>> urls_;
  State state_;
};

// Whether each path is a folder, as an item reads it: a path that cannot be looked at (missing, no access)
// counts as a file. Reads the disk; safe on any thread.
QList<bool> whichAreFolders(const QStringList& urls);

// Whether a file's name says it probably holds a secret (keys, credentials, environment files, hidden
// files). Looks at the path's last component only; reads nothing from the disk.
bool isSensitiveFile(const QString& url);

}  // namespace pm
