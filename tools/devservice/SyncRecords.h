#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>

namespace pm {
class Clock;
}

namespace pm::dev {

// The service's side of settings sync, per account (e-mail): one sealed copy of the synced settings with
// a version that every stored copy raises by one, and at most one open pairing. The service never sees
// anything but Base64 text it cannot read. Shared by the development service and the tests' fake.
//
// A copy is stored only over the version it was read as (else 409, so a computer that missed another's
// change pulls before it overwrites). A pairing takes one answer (a second is refused with 409, so nobody
// can swap their key in once the offering computer may be checking the first) and one handover; a claim
// hands the handover out once and closes the pairing. A pairing lives as long as the offering computer
// waits for its answer: after that it is gone, as if closed, so a computer that joins late learns at once
// that there is nothing to join instead of answering a pairing nobody will hand over.
class SyncRecords {
 public:
  static constexpr qint64 kPairingLifetimeSeconds = 300;

  struct Answer {
    int status = 200;
    QJsonObject body;
  };

  struct Copy {
    QString blob;
    qint64 version = 0;
  };
  struct Pairing {
    QString salt;
    std::optional<QString> publicKey;
    std::optional<QString> mac;
    std::optional<QJsonObject> handover;
    QDateTime expiresAt;
  };

  // `clock` (the system's when none) tells when pairings expire; it outlives the records.
  explicit SyncRecords(const Clock* clock = nullptr);

  // "sync/uploaders"
  Answer getCopy(const QString& account) const;
  Answer putCopy(const QString& account, const QJsonObject& body);
  // "sync/pairings" and "sync/pairings/claim"
  Answer openPairing(const QString& account, const QJsonObject& body);
  Answer getPairing(const QString& account) const;
  Answer putPairing(const QString& account, const QJsonObject& body);
  Answer claim(const QString& account);
  Answer closePairing(const QString& account);

  QJsonObject toJson() const;
  void load(const QJsonObject& object);

  QMap<QString, Copy> copies;       // by account
  QMap<QString, Pairing> pairings;  // by account; those past their time count as gone

 private:
  bool isLive(const QDateTime& expiresAt) const;
  // The account's pairing while it lives.
  const Pairing* livePairing(const QString& account) const;
  Pairing* livePairing(const QString& account);

  const Clock* clock_;
};

}  // namespace pm::dev
