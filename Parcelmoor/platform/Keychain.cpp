#include "Keychain.h"

#include <libsecret/secret.h>

#include <future>

#include "Log.h"

namespace pm {

namespace {

const SecretSchema* itemSchema() {
  static const SecretSchema schema = {"com.wrenfold.Parcelmoor.GenericPassword",
                                      SECRET_SCHEMA_DONT_MATCH_NAME,
                                      {
                                          {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                      },
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  return &schema;
}

struct GErrorHolder {
  GError* error = nullptr;
  ~GErrorHolder() {
    if (error) g_error_free(error);
  }
  QString message() const { return error ? QString::fromUtf8(error->message) : QString(); }
};

// Set once, before any keychain call, by connectInBackground(); only waited for afterwards.
std::shared_future<void> connecting;

void waitUntilConnected() {
  if (connecting.valid()) connecting.wait();
}

}  // namespace

void SecretServiceKeychain::connectInBackground() {
  if (connecting.valid()) return;
  connecting = std::async(std::launch::async, [] {
                 // libsecret keeps the service it opened for the process; later calls use it.
                 GErrorHolder error;
                 SecretService* service =
                     secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error.error);
                 if (service) g_object_unref(service);
               }).share();
}

Keychain::Lookup SecretServiceKeychain::find(const QString& service, const QString& account) const {
  waitUntilConnected();
  const QByteArray s = service.toUtf8();
  const QByteArray a = account.toUtf8();
  GErrorHolder error;
  SecretValue* value = secret_password_lookup_binary_sync(itemSchema(), nullptr, &error.error, "service",
                                                          s.constData(), "account", a.constData(), nullptr);
  if (error.error) {
    qCWarning(lcKeychain) << "Keychain read failed for" << service << "-" << error.message();
    return {Status::Failed, {}};
  }
  if (!value) return {Status::NotFound, {}};
  gsize length = 0;
  const gchar* bytes = secret_value_get(value, &length);
  Lookup found{Status::Found, QByteArray(bytes, qsizetype(length))};
  secret_value_unref(value);
  return found;
}

bool SecretServiceKeychain::store(const QString& service, const QString& account, const QByteArray& data) {
  waitUntilConnected();
  const QByteArray s = service.toUtf8();
  const QByteArray a = account.toUtf8();
  const QByteArray label = (service + QLatin1String(" (") + account + QLatin1Char(')')).toUtf8();
  SecretValue* value = secret_value_new(data.constData(), data.size(), "application/octet-stream");
  GErrorHolder error;
  const gboolean ok = secret_password_store_binary_sync(
      itemSchema(), SECRET_COLLECTION_DEFAULT, label.constData(), value, nullptr, &error.error, "service",
      s.constData(), "account", a.constData(), nullptr);
  secret_value_unref(value);
  if (!ok || error.error) {
    qCWarning(lcKeychain) << "Keychain write failed for" << service << "-" << error.message();
    return false;
  }
  return true;
}

bool SecretServiceKeychain::remove(const QString& service, const QString& account) {
  waitUntilConnected();
  const QByteArray s = service.toUtf8();
  const QByteArray a = account.toUtf8();
  GErrorHolder error;
  secret_password_clear_sync(itemSchema(), nullptr, &error.error, "service", s.constData(), "account",
                             a.constData(), nullptr);
  if (error.error) {
    qCWarning(lcKeychain) << "Keychain delete failed for" << service << "-" << error.message();
    return false;
  }
  return true;
}

namespace {
QString itemKey(const QString& service, const QString& account) {
  return service + QChar(0) + account;
}
}  // namespace

Keychain::Lookup MemoryKeychain::find(const QString& service, const QString& account) const {
  QMutexLocker lock(&mutex_);
  ++reads_[itemKey(service, account)];
  if (failing_) return {Status::Failed, {}};
  const auto it = items_.constFind(itemKey(service, account));
  if (it == items_.constEnd()) return {Status::NotFound, {}};
  return {Status::Found, it.value()};
}

bool MemoryKeychain::store(const QString& service, const QString& account, const QByteArray& data) {
  QMutexLocker lock(&mutex_);
  if (failing_) return false;
  items_.insert(itemKey(service, account), data);
  return true;
}

bool MemoryKeychain::remove(const QString& service, const QString& account) {
  QMutexLocker lock(&mutex_);
  if (failing_) return false;
  items_.remove(itemKey(service, account));
  return true;
}

void MemoryKeychain::setFailing(bool failing) {
  QMutexLocker lock(&mutex_);
  failing_ = failing;
}

int MemoryKeychain::readCount(const QString& service, const QString& account) const {
  QMutexLocker lock(&mutex_);
  return reads_.value(itemKey(service, account));
}

int MemoryKeychain::itemCount() const {
  QMutexLocker lock(&mutex_);
  return int(items_.size());
}

}  // namespace pm
