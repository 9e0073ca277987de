#pragma once

#include <QCoroTask>

#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

namespace pm::settings {

// Whether the product's service answers at all: a plain GET of "/api/me" under `serviceBase`, without a
// session token. Any status below 500 counts (401 included: signing in is judged elsewhere). Otherwise
// "Parcelmoor responded with HTTP <status>.", "Parcelmoor sent an unexpected response." or the network's
// own words. Never throws.
QCoro::Task<std::optional<QString>> testParcelmoorConnection(
    QNetworkAccessManager& network, QUrl serviceBase,
    std::chrono::milliseconds timeout = std::chrono::seconds(15));

}  // namespace pm::settings
