#include "Bucket.h"

#include <QFileInfo>
#include <QSet>

#include <utility>

#include "platform/Clock.h"

namespace pm {
namespace {

// The last component of a path, ignoring trailing slashes, so "/a/Photos/" is named "Photos".
QString lastPathComponent(const QString& path) {
  qsizetype end = path.size();
  while (end > 0 && path.at(end - 1) == QLatin1Char('/')) --end;
  if (end == 0) return path.isEmpty() ? QString() : QStringLiteral("/");
  const qsizetype start = path.lastIndexOf(QLatin1Char('/'), end - 1) + 1;
  return path.mid(start, end - start);
}

const QSet<QString>& sensitiveFileNames() {
  static const QSet<QString> names{
      QStringLiteral("credentials"),
      QStringLiteral("id_rsa"),
      QStringLiteral("id_dsa"),
      QStringLiteral("id_ecdsa"),
      QStringLiteral("id_ed25519"),
      QStringLiteral("secrets.json"),
      QStringLiteral("secrets.yml"),
      QStringLiteral("secrets.yaml"),
      QStringLiteral(".env"),
      QStringLiteral(".env.production"),
      QStringLiteral(".env.staging"),
      QStringLiteral(".dev.vars"),
      QStringLiteral(".dev.vars.production"),
      QStringLiteral(".dev.vars.staging"),
  };
  return names;
}

const QSet<QString>& sensitiveFileExtensions() {
  static const QSet<QString> extensions{
      QStringLiteral("pem"),      QStringLiteral("key"),  QStringLiteral("p12"),      QStringLiteral("pfx"),
      QStringLiteral("keystore"), QStringLiteral("jks"),  QStringLiteral("keychain"), QStringLiteral("ppk"),
      QStringLiteral("env"),      QStringLiteral("vars"),
  };
  return extensions;
}

template <typename T>
bool assignChanged(T& field, T value) {
  if (field == value) return false;
  field = std::move(value);
  return true;
}

}  // namespace

bool isSensitiveFile(const QString& url) {
  const QString name = lastPathComponent(url).toLower();
  if (name.startsWith(QLatin1Char('.'))) return true;
  if (sensitiveFileNames().contains(name)) return true;
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString extension = dot < 0 ? QString() : name.mid(dot + 1);
  return sensitiveFileExtensions().contains(extension);
}

// ---- BucketItem

QList<bool> whichAreFolders(const QStringList& urls) {
  QList<bool> folders;
  folders.reserve(urls.size());
  // A path that cannot be looked at counts as a file; the upload reports it.
  for (const QString& url : urls) folders.append(QFileInfo(url).isDir());
  return folders;
}

BucketItem::BucketItem(QString url, QDateTime addedAt) : BucketItem(url, std::move(addedAt), QFileInfo(url).isDir()) {}

BucketItem::BucketItem(QString url, QDateTime addedAt, bool isDirectory)
    : id_(QUuid::createUuid()),
      url_(std::move(url)),
      name_(lastPathComponent(url_)),
      addedAt_(std::move(addedAt)),
      isDirectory_(isDirectory),
      isSensitive_(!isDirectory_ && isSensitiveFile(url_)) {}

BucketItem::~BucketItem() {
  if (notifier_) notifier_->item_ = nullptr;
}

std::shared_ptr<BucketItemNotifier> BucketItem::notifier() {
  if (notifier_) return notifier_->shared_from_this();
  std::shared_ptr<BucketItemNotifier> made(new BucketItemNotifier, [](BucketItemNotifier* notifier) {
    if (notifier->item_) notifier->item_->notifier_ = nullptr;
    delete notifier;
  });
  made->item_ = this;
  notifier_ = made.get();
  return made;
}

// The notifier is held for the whole emission: a receiver may drop the last other hold on it.
void BucketItem::setState(const State& state) {
  if (!assignChanged(state_, state)) return;
  if (notifier_) Q_EMIT notifier_->shared_from_this()->stateChanged();
  notifyOwner();
}

void BucketItem::setErrors(Errors errors) {
  if (!assignChanged(errors_, std::move(errors))) return;
  if (notifier_) Q_EMIT notifier_->shared_from_this()->errorsChanged();
}

void BucketItem::setConsented(bool consented) {
  if (!assignChanged(consented_, consented)) return;
  if (notifier_) Q_EMIT notifier_->shared_from_this()->consentedChanged();
  notifyOwner();
}

void BucketItem::notifyOwner() {
  if (owner_) Q_EMIT owner_->itemChanged(*this);
}

// ---- Bucket

Bucket::Bucket(const Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock), id_(QUuid::createUuid()), createdAt_(clock.now()) {}

Bucket::~Bucket() {
  // A view or a running upload may still hold an item; it must not reach back to a bucket that is gone.
  for (const ItemPointer& item : std::as_const(items_)) item->owner_ = nullptr;
}

Bucket::ItemPointer Bucket::item(const QUuid& id) const {
  return byID_.value(id);
}

qsizetype Bucket::indexOf(const QUuid& itemID) const {
  for (qsizetype i = 0; i < items_.size(); ++i) {
    if (items_.at(i)->id() == itemID) return i;
  }
  return -1;
}

void Bucket::setState(const State& state) {
  if (assignChanged(state_, state)) Q_EMIT stateChanged();
}

QList<Bucket::ItemPointer> Bucket::add(const QStringList& urls) {
  return state_.isOpen() ? add(urls, whichAreFolders(urls)) : QList<ItemPointer>();
}

QList<Bucket::ItemPointer> Bucket::add(const QStringList& urls, const QList<bool>& folders) {
  Q_ASSERT(folders.size() == urls.size());
  if (!state_.isOpen()) return {};
  QList<ItemPointer> added;
  for (qsizetype i = 0; i < urls.size(); ++i) {
    const QString& url = urls.at(i);
    if (urls_.contains(url)) continue;
    urls_.insert(url);
    added.append(std::make_shared<BucketItem>(url, clock_.now(), folders.at(i)));
    added.last()->owner_ = this;
    byID_.insert(added.last()->id(), added.last());
  }
  items_.append(added);
  Q_EMIT itemsChanged();
  return added;
}

Bucket::ItemPointer Bucket::removeItem(const QUuid& id) {
  if (!state_.isOpen()) return nullptr;
  const qsizetype index = indexOf(id);
  if (index < 0) return nullptr;
  ItemPointer removed = items_.takeAt(index);
  removed->owner_ = nullptr;
  byID_.remove(id);
  urls_.remove(removed->url());
  Q_EMIT itemsChanged();
  return removed;
}

void Bucket::setState(const QUuid& itemID, const BucketItem::State& state) {
  if (const ItemPointer target = item(itemID)) target->setState(state);
}

void Bucket::recordError(const QUuid& itemID, const QString& path, const UploadError& error) {
  const ItemPointer target = item(itemID);
  if (!target) return;
  BucketItem::Errors errors = target->errors();
  errors[path].append(error);
  target->setErrors(std::move(errors));
}

}  // namespace pm
