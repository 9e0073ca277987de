#include "SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUrl>

#include "Log.h"

namespace pm {

namespace {

// The running agent answers from its main thread; a busy one may take a moment, a hung one must not hold
// up the launch that asked for ever.
constexpr int kForwardTimeoutMs = 10'000;
constexpr int kClaimAttempts = 3;

}  // namespace

SingleInstance::SingleInstance(QDBusConnection connection, QString serviceName, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), serviceName_(std::move(serviceName)) {}

SingleInstance::~SingleInstance() {
  if (claimed_) connection_.unregisterService(serviceName_);
  if (exported_) connection_.unregisterObject(QString::fromLatin1(kObjectPath));
}

SingleInstance::Claim SingleInstance::claim() {
  if (claimed_) return Claim::claimed;
  if (!connection_.isConnected()) {
    qCWarning(lcApp) << "No D-Bus session bus: later launches cannot reach this agent"
                     << connection_.lastError().message();
    return Claim::noBus;
  }
  // The object first: a forwarder that sees the name owned may call at once.
  if (!exported_) {
    exported_ = connection_.registerObject(QString::fromLatin1(kObjectPath), this,
                                           QDBusConnection::ExportScriptableSlots);
    if (!exported_) {
      qCWarning(lcApp) << "Cannot export the agent object on the session bus"
                       << connection_.lastError().message();
      return Claim::noBus;
    }
  }
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
      connection_.interface()->registerService(serviceName_, QDBusConnectionInterface::DontQueueService,
                                               QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid()) {
    qCWarning(lcApp) << "The session bus did not answer the claim of" << serviceName_
                     << reply.error().message();
    return Claim::noBus;
  }
  if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
    connection_.unregisterObject(QString::fromLatin1(kObjectPath));
    exported_ = false;
    return Claim::heldByAnother;
  }
  claimed_ = true;
  return Claim::claimed;
}

SingleInstance::Launch SingleInstance::claimOrForward(const QStringList& arguments) {
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
    switch (claim()) {
      case Claim::claimed:
        return Launch::primary;
      case Claim::noBus:
        return Launch::noBus;
      case Claim::heldByAnother:
        if (forwardToRunning(arguments, connection_, serviceName_)) return Launch::forwarded;
        break;  // the holder went away meanwhile: try to take its place
    }
  }
  // A holder that keeps the name but never answers: running a second agent beside it would split the
  // user's buckets, so this launch gives up and says why.
  qCCritical(lcApp) << "Another process owns" << serviceName_
                    << "but does not answer; not starting a second agent";
  return Launch::unanswered;
}

bool SingleInstance::forwardToRunning(const QStringList& arguments, QDBusConnection connection,
                                      const QString& serviceName) {
  if (!connection.isConnected()) return false;
  const QStringList urls = schemeUrls(arguments);
  QDBusMessage call = QDBusMessage::createMethodCall(
      serviceName, QString::fromLatin1(kObjectPath), QString::fromLatin1(kInterface),
      urls.isEmpty() ? QStringLiteral("Reopen") : QStringLiteral("OpenUrls"));
  if (!urls.isEmpty()) call << urls;
  // Without auto-start: only a running agent answers, the bus never launches one for us.
  call.setAutoStartService(false);
  const QDBusMessage reply = connection.call(call, QDBus::Block, kForwardTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    qCWarning(lcApp) << "The running agent did not take the request:" << reply.errorName()
                     << reply.errorMessage();
    return false;
  }
  return true;
}

bool SingleInstance::isRunning(QDBusConnection connection, const QString& serviceName) {
  if (!connection.isConnected()) return false;
  const QDBusReply<bool> reply = connection.interface()->isServiceRegistered(serviceName);
  return reply.isValid() && reply.value();
}

QStringList SingleInstance::schemeUrls(const QStringList& arguments) {
  QStringList urls;
  for (const QString& argument : arguments) {
    const QUrl url(argument, QUrl::StrictMode);
    if (url.isValid() && url.scheme().compare(QLatin1String("parcelmoor"), Qt::CaseInsensitive) == 0) {
      urls.append(argument);
    }
  }
  return urls;
}

void SingleInstance::Reopen() {
  Q_EMIT reopenRequested();
}

void SingleInstance::OpenUrls(const QStringList& urls) {
  const QStringList accepted = schemeUrls(urls);
  if (accepted.size() != urls.size())
    qCWarning(lcApp) << "Ignoring" << urls.size() - accepted.size()
                     << "opened URLs that are not parcelmoor:// URLs";
  Q_EMIT urlsOpened(accepted);
}

}  // namespace pm
