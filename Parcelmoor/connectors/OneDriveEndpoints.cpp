#include "OneDriveEndpoints.h"

#include "connectors/EndpointUrl.h"

namespace pm {

QUrl OneDriveEndpoints::graphUrl(const QString& relative) const {
  return QUrl(endpointRoot(graph) + QLatin1Char('/') + relative, QUrl::TolerantMode);
}

QUrl OneDriveEndpoints::loginUrl(const QString& path) const {
  return endpointUrl(login, path);
}

}  // namespace pm
