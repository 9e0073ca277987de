#pragma once

#include <QNetworkRequest>
#include <QUrl>

namespace pm {

// Every request the programs send is built here. Redirects are never followed: after a 301, 302 or 303 Qt
// resends a PUT or POST as a GET without its body, and that GET's 2xx would read as "stored". A 3xx
// reaches the caller as its status instead, to be reported like any other refusal.
QNetworkRequest networkRequest(const QUrl& url);

}  // namespace pm
