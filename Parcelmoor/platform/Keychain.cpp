#include "Keychain.h"

#include "Log.h"
#include "SecretServiceBus.h"
#include "SecretServiceLibrary.h"

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

// The error a call reported, freed through the library that made it.
struct GErrorHolder {
  explicit GErrorHolder(const SecretServiceLibrary::Functions& library) : free(library.error_free) {}
  ~GErrorHolder() {
    if (error) free(error);
  }
  GErrorHolder(const GErrorHolder&) = delete;
  GErrorHolder& operator=(const GErrorHolder&) = delete;
  QString message() const { return error ? QString::fromUtf8(error->message) : QString(); }

  decltype(&::g_error_free) free;
  GError* error = nullptr;
};

// `failure` names the call ("Keychain read failed for"), `why` what went wrong.
void logFailure(const char* failure, const QString& service, const QString& why) {
  qCWarning(lcKeychain) << failure << service << "-" << why;
}

// libsecret's functions, or null (the failure logged with the reason) when the library cannot be used: the
// call then fails as it would with no Secret Service.
const SecretServiceLibrary::Functions* usable(SecretServiceLibrary& library, const char* failure,
                                              const QString& service) {
  const auto* functions = library.functions();
  if (!functions) logFailure(failure, service, QString::fromStdString(library.problem()));
  return functions;
}

constexpr char kReadFailed[] = "Keychain read failed for";
constexpr char kWriteFailed[] = "Keychain write failed for";
constexpr char kDeleteFailed[] = "Keychain delete failed for";

}  // namespace

SecretServiceKeychain::SecretServiceKeychain() : SecretServiceKeychain(SecretServiceLibrary::system()) {}

SecretServiceKeychain::SecretServiceKeychain(SecretServiceLibrary& library) : library_(&library) {}

Keychain::Lookup SecretServiceKeychain::find(const QString& service, const QString& account) const {
  // Most reads find an unlocked item or none, which the bus tells without loading libsecret.
  if (std::optional<Lookup> read = findOnSecretServiceBus(service, account)) return *std::move(read);
  const auto* f = usable(*library_, kReadFailed, service);
  if (!f) return {Status::Failed, {}};
  const QByteArray s = service.toUtf8();
  const QByteArray a = account.toUtf8();
  GErrorHolder error(*f);
  SecretValue* value = f->password_lookup_binary_sync(itemSchema(), nullptr, &error.error, "service",
                                                      s.constData(), "account", a.constData(), nullptr);
  if (error.error) {
    logFailure(kReadFailed, service, error.message());
    return {Status::Failed, {}};
  }
  if (!value) return {Status::NotFound, {}};
  gsize length = 0;
  const gchar* bytes = f->value_get(value, &length);
  Lookup found{Status::Found, QByteArray(bytes, qsizetype(length))};
  f->value_unref(value);
  return found;
}

bool SecretServiceKeychain::store(const QString& service, const QString& account, const QByteArray& data) {
  const auto* f = usable(*library_, kWriteFailed, service);
  if (!f) return false;
  const QByteArray s = service.toUtf8();
  const QByteArray a = account.toUtf8();
  const QByteArray label = (service + QLatin1String(" (") + account + QLatin1Char(')')).toUtf8();
  SecretValue* value = f->value_new(data.constData(), data.size(), "application/octet-stream");
  GErrorHolder error(*f);
  const gboolean ok = f->password_store_binary_sync(
      itemSchema(), SECRET_COLLECTION_DEFAULT, label.constData(), value, nullptr, &error.error, "service",
      s.constData(), "account", a.constData(), nullptr);
  f->value_unref(value);
  if (!ok || error.error) {
    logFailure(kWriteFailed, service, error.message());
    return false;
  }
  return true;
}

bool SecretServiceKeychain::remove(const QString& service, const QString& account) {
  const auto* f = usable(*library_, kDeleteFailed, service);
  if (!f) return false;
  const QByteArray s = service.toUtf8();
  const QByteArray a = account.toUtf8();
  GErrorHolder error(*f);
  f->password_clear_sync(itemSchema(), nullptr, &error.error, "service", s.constData(), "account",
                         a.constData(), nullptr);
  if (error.error) {
    logFailure(kDeleteFailed, service, error.message());
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
