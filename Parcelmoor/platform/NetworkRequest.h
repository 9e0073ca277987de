#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QUrl>

namespace pm {

// Every request the programs send is built here. Redirects are never followed: after a 301, 302 or 303 Qt
// resends a PUT or POST as a GET without its body, and that GET's 2xx would read as "stored". A 3xx
// reaches the caller as its status instead, to be reported like any other refusal.
QNetworkRequest networkRequest(const QUrl& url);

// The Host field as Qt writes it for `url`, and as the S3 signer signs it: with the port whenever the URL
// names one, the default port included. Requests written by other means send this one too.
QByteArray hostField(const QUrl& url);

}  // namespace pm
