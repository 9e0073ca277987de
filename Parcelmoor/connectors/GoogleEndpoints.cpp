#include "GoogleEndpoints.h"

#include "connectors/EndpointUrl.h"

namespace pm {

QUrl GoogleEndpoints::resolve(const QUrl& base, const QString& path) { return endpointUrl(base, path); }

}  // namespace pm
