#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QUrl>

#include <mutex>

#include "Router.h"

namespace pm::dev {

class DevStore;

// The account side of the service: the device-code sign-in with its verification page, where the
// developer approves (or denies) a code in the browser under any e-mail; the session, "me", sign-out and
// billing routes. Every account is subscribed; the billing link leads to a page that says so.
class AccountRoutes {
 public:
  static constexpr qint64 kCodeLifetimeSeconds = 600;
  static constexpr qint64 kPollIntervalSeconds = 2;

  AccountRoutes(DevStore& store, QUrl baseUrl);
  void install(Router& router);

 private:
  struct DeviceCode {
    QString deviceCode;
    QString userCode;
    QDateTime expiresAt;
    enum class Status { pending, approved, denied } status = Status::pending;
    QString email;
  };

  Reply requestCode(const Request& request);
  Reply poll(const Request& request);
  Reply verificationPage(const Request& request);
  Reply decide(const Request& request);
  DeviceCode* byUserCode(const QString& userCode);

  DevStore& store_;
  QUrl baseUrl_;
  std::mutex codesMutex_;            // requests come on several threads
  QMap<QString, DeviceCode> codes_;  // by device code
};

}  // namespace pm::dev
