#pragma once

#include <QString>

namespace pm::settings {

// ".r2.cloudflarestorage.com": under it, the host of every R2 account's S3 endpoint is the account ID.
inline constexpr char kR2DomainSuffix[] = ".r2.cloudflarestorage.com";

// The account ID in an R2 endpoint URL or host (the host of a URL, else the whole text, must end with the
// suffix, compared exactly); empty for anything else.
QString r2AccountID(const QString& endpoint);
// "https://<account>.r2.cloudflarestorage.com" for an account ID typed with blanks around it, or for a
// pasted endpoint (its path dropped); empty for an empty account.
QString r2Endpoint(const QString& account);

}  // namespace pm::settings
