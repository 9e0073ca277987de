// A second program for the test of the service base URL, which the process reads once and keeps:
//   pm_service_url_probe   reads the base URL, changes PARCELMOOR_API, reads it again, and sends
//                          GET <first URL>/api/buckets; prints both URLs and the answer's status, a line each
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QTextStream>

#include <QCoroTask>

#include "core/ParcelmoorAPI.h"
#include "platform/Keychain.h"

namespace {

// The status, or -1 when the request failed: QCoro's waitFor never returns from a task that throws.
QCoro::Task<int> statusOf(pm::ParcelmoorAPI& api) {
  try {
    const auto response =
        co_await api.request(QStringLiteral("buckets"), "GET", pm::ParcelmoorAPI::Body::none(), {});
    co_return response.status;
  } catch (...) {
    co_return -1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QUrl first = pm::serviceBaseUrl();
  qputenv("PARCELMOOR_API", "http://127.0.0.1:1");
  const QUrl second = pm::serviceBaseUrl();

  QNetworkAccessManager network;
  pm::MemoryKeychain keychain;
  pm::ParcelmoorAPI::Options options;
  options.baseUrl = first;
  pm::ParcelmoorAPI api(network, keychain, options);
  const int status = QCoro::waitFor(statusOf(api));

  QTextStream(stdout) << first.toString() << '\n' << second.toString() << '\n' << status << '\n';
  return 0;
}
