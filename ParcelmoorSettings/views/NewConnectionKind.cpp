#include "NewConnectionKind.h"

#include <QFileInfo>

#include "connectors/OAuthProvider.h"
#include "model/OAuthSupport.h"
#include "views/ConnectionEditor.h"

namespace pm::settings {

namespace {

bool worksHere(UploaderConfig::Kind kind, const BundleInfo& bundle, const QString& syncedFolderRoot) {
  if (kind == UploaderConfig::Kind::icloud) return !syncedFolderRoot.isEmpty() && QFileInfo(syncedFolderRoot).isDir();
  if (const std::optional<OAuthProvider> provider = oauthProvider(kind))
    return isOAuthClientConfigured(*provider, bundle);
  return true;
}

}  // namespace

UploaderConfig::Kind newConnectionKind(const BundleInfo& bundle, const QString& syncedFolderRoot) {
  for (const QList<UploaderConfig::Kind>& group : ConnectionEditor::kindGroups()) {
    for (const UploaderConfig::Kind kind : group) {
      if (worksHere(kind, bundle, syncedFolderRoot)) return kind;
    }
  }
  return UploaderConfig::Kind::customS3;
}

}  // namespace pm::settings
