#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// An independent reader of the "PMR1" stream, standing in for the receiving side: it takes the stream
// apart from the format alone and opens every record, so tests check the writer against the format and
// not against itself.
namespace pm::test {

struct OpenedStream {
  QString failure;            // empty when the whole stream opened
  QByteArray plaintext;       // the file, when it opened
  quint32 chunkSize = 0;      // from the header
  QList<qint64> recordSizes;  // each record's bytes, nonce and tag included

  bool ok() const { return failure.isEmpty(); }
};

// Concatenates `partFiles` in order and opens the stream under `key`. Any change to any byte, a missing,
// added or reordered record, or a cut-off stream makes it fail.
OpenedStream openSealedStream(const QByteArray& key, const QStringList& partFiles);
OpenedStream openSealedStream(const QByteArray& key, const QByteArray& stream);

}  // namespace pm::test
