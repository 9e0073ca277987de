// The delegate's intake: inbox batches, reopening the agent and URLs handed to it.
#include "app/AppDelegate.h"

#include <QStringList>
#include <QUrl>

#include "app/OAuthRedirectHandler.h"
#include "app/SettingsProgram.h"
#include "panel/UploadPanelControl.h"
#include "platform/Workspace.h"
#include "core/AppSettings.h"
#include "core/SharedInbox.h"
#include "platform/Log.h"
#include "upload/BucketStore.h"
#include "upload/BucketUploader.h"
#include "upload/UploadSession.h"

namespace pm {

namespace {

// The batch's own connection when it can upload now, else the first that can, else the first of all.
std::optional<UploaderConfig> connectionFor(const SharedInbox::Batch& batch, const AppSettings& settings,
                                            const SharedDefaults& defaults) {
  if (batch.uploaderID) {
    for (const UploaderConfig& config : settings.uploaders()) {
      if (config.id == *batch.uploaderID && config.isConfigured(defaults)) return config;
    }
  }
  return settings.firstReadyUploader();
}

QStringList localPaths(const SharedInbox::Batch& batch) {
  QStringList paths;
  const QList<QUrl> urls = batch.urls();
  for (const QUrl& url : urls) paths.append(url.toLocalFile());
  return paths;
}

}  // namespace

void AppDelegate::drainInbox() {
  const QList<SharedInbox::Batch> batches = services_.inbox.loadBatches();
  for (const SharedInbox::Batch& batch : batches) {
    // Gone before it is handled, so a batch is handled at most once. A file that stays (logged) would be
    // handed over again on every drain: it is left for the user instead.
    if (!services_.inbox.removeBatch(batch)) continue;
    const std::optional<UploaderConfig> config = connectionFor(batch, *settings_, services_.defaults);
    if (!config) {
      qCWarning(lcUpload, "an inbox batch arrived while no connection exists; its files were not added");
      continue;
    }
    // An open session takes the files whatever its connection: one bucket, one link.
    const AgentServices::MakeUploader& makeUploader = services_.makeUploader;
    const std::shared_ptr<UploadSession> session =
        store_->session(*config, [makeUploader, config = *config] { return makeUploader(config); });
    // Missing paths and files that are no regular file or folder become items that fail with their own
    // error; they stop nothing. Sensitive files wait for the user's consent in the panel.
    session->enqueue(localPaths(batch));
    services_.panel.show();
  }
}

bool AppDelegate::reopen() {
  if (services_.inbox.consumeUploadWake()) {
    drainInbox();
  } else {
    openSettingsApp();
  }
  return true;
}

void AppDelegate::openUrls(const QStringList& urls) {
  for (const QString& url : urls) {
    // Only the agent's own scheme is offered; anything else is neither opened nor fetched.
    const QString scheme = QUrl(url).scheme();
    if (scheme.compare(QLatin1String("parcelmoor"), Qt::CaseInsensitive) != 0) {
      qCInfo(lcApp, "ignoring a handed-over URL with the scheme \"%s\"", qUtf8Printable(scheme));
      continue;
    }
    if (services_.oauth.handle(url)) return;
  }
  openSettingsApp();
}

void AppDelegate::openSettingsApp() {
  services_.workspace.openApplication(
      services_.settingsProgram.value_or(settingsProgramPath(services_.agentDirectory)));
}

}  // namespace pm
