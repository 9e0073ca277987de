#include "CredentialMarks.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "platform/Keychain.h"
#include "platform/SharedNames.h"
#include "sync/PayloadDates.h"

namespace pm::CredentialMarks {

namespace {

const QString kDigest = QStringLiteral("digest");
const QString kChangedAt = QStringLiteral("changedAt");

QString service() {
  return QString::fromLatin1(names::keychain::kSyncService);
}
QString account() {
  return QStringLiteral("credential-marks");
}

std::optional<Mark> markFrom(const QJsonValue& value) {
  if (value.isString()) return Mark{value.toString().toLatin1(), std::nullopt};
  const QJsonValue digest = value.toObject().value(kDigest);
  if (!digest.isString()) return std::nullopt;
  const QJsonValue changedAt = value.toObject().value(kChangedAt);
  return Mark{digest.toString().toLatin1(),
              changedAt.isString() ? payloadDateFromText(changedAt.toString()) : std::nullopt};
}

}  // namespace

std::optional<Marks> load(const Keychain& keychain) {
  const Keychain::Lookup found = keychain.find(service(), account());
  if (found.status == Keychain::Status::Failed) return std::nullopt;
  Marks marks;
  const QJsonObject object = QJsonDocument::fromJson(found.data).object();
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (const std::optional<Mark> mark = markFrom(it.value())) marks.insert(it.key(), *mark);
  }
  return marks;
}

bool save(Keychain& keychain, const Marks& marks) {
  QJsonObject object;
  for (auto it = marks.cbegin(); it != marks.cend(); ++it) {
    QJsonObject mark{{kDigest, QString::fromLatin1(it->digest)}};
    const std::optional<QString> changedAt = it->changedAt ? payloadDateText(*it->changedAt) : std::nullopt;
    if (changedAt) mark.insert(kChangedAt, *changedAt);
    object.insert(it.key(), mark);
  }
  return keychain.store(service(), account(), QJsonDocument(object).toJson(QJsonDocument::Compact));
}

}  // namespace pm::CredentialMarks
