#include "SharePage.h"

#include <QLocale>
#include <QUrl>

#include <memory>

#include "DevStore.h"
#include "SealedStreamReader.h"

namespace pm::dev {

namespace {

Reply nothingHere() {
  return Reply::page(
      404, QStringLiteral("Nothing here"),
      QStringLiteral("<p>This link leads to no sealed bucket, or the file was withdrawn.</p>"));
}

// "attachment" with the file's own name, percent-encoded so no name can break out of the header.
QByteArray attachment(const QString& path) {
  const QString name = path.section(QLatin1Char('/'), -1);
  return "attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(name);
}

}  // namespace

SharePage::SharePage(DevStore& store) : store_(store) {}

void SharePage::install(Router& router) {
  router.route("GET", QStringLiteral("/s/([^/]+)"), Router::Access::open,
               [this](const Request& r) { return listing(r); });
  router.route("GET", QStringLiteral("/s/([^/]+)/([^/]+)"), Router::Access::open,
               [this](const Request& r) { return download(r); });
}

Reply SharePage::listing(const Request& request) {
  std::optional<StoredBucket> bucket;
  QList<StoredFile> files;
  store_.read([&](StoreTransaction& transaction) {
    bucket = transaction.bucket(request.captures.value(0));
    if (bucket && bucket->sealed) files = transaction.files(bucket->id);
  });
  if (!bucket || !bucket->sealed) return nothingHere();
  QString rows;
  int count = 0;
  for (const StoredFile& file : std::as_const(files)) {
    if (!file.isComplete()) continue;
    ++count;
    rows += QStringLiteral("<tr><td><a href=\"/s/%1/%2\">%3</a></td><td>%4</td></tr>")
                .arg(bucket->id, file.id, file.path.toHtmlEscaped(),
                     QLocale::c().formattedDataSize(file.plainSize()));
  }
  return Reply::page(200, QStringLiteral("Shared files"),
                     QStringLiteral("<p>%1 files, shared %2.</p><table>%3</table>")
                         .arg(count)
                         .arg(bucket->created.toString(Qt::ISODate), rows));
}

Reply SharePage::download(const Request& request) {
  std::optional<StoredBucket> bucket;
  std::optional<StoredFile> file;
  store_.read([&](StoreTransaction& transaction) {
    bucket = transaction.bucket(request.captures.value(0));
    if (bucket && bucket->sealed) file = transaction.file(bucket->id, request.captures.value(1));
  });
  if (!file || !file->isComplete()) return nothingHere();

  QStringList parts;
  for (int number = 1; number <= file->partCount; ++number)
    parts.append(store_.partFile(bucket->id, file->id, number));
  auto reader = std::make_shared<SealedStreamReader>(parts, bucket->key);
  if (!reader->open()) {
    return Reply::page(500, QStringLiteral("Unreadable file"),
                       QStringLiteral("<p>The stored file cannot be opened: %1.</p>")
                           .arg(reader->failure().toHtmlEscaped()));
  }
  Reply reply;
  // Whatever the client announced, a download is bytes to save, never a page to render here.
  reply.contentType = "application/octet-stream";
  reply.headers.insert("Content-Disposition", attachment(file->path));
  reply.streamLength = reader->plainSize();
  // Runs after the answer's head went out, so a chunk that does not open breaks the download off.
  reply.stream = [reader](const Reply::Write& write) {
    const auto chunk = reader->nextChunk();
    if (!chunk) {
      qWarning("download broken off: %s", qPrintable(reader->failure()));
      return false;
    }
    return write(chunk->constData(), chunk->size());
  };
  return reply;
}

}  // namespace pm::dev
