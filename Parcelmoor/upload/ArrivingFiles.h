#pragma once

#include <QList>
#include <QStringList>

namespace pm {

// The files given to a session that have not entered its bucket yet, batch after batch in the order they
// came, taken from the front a slice at a time. A batch is kept as the list it came in, never copied:
// copying a hundred thousand paths is itself longer than a frame. What has entered is let go of a slice at
// a time once no one else holds the list, and at once (a mere release of the list) while someone does.
class ArrivingFiles final {
 public:
  bool isEmpty() const { return batches_.isEmpty(); }
  qsizetype size() const;
  // Everything still to enter, in order.
  QStringList all() const;

  void append(const QStringList& urls);
  // Up to `count` files from the front, in order, left where they are.
  QStringList front(qsizetype count) const;
  // The same files taken out: the next slice goes on where this one ends, across batches.
  QStringList take(qsizetype count);
  void clear() { batches_.clear(); }

 private:
  struct Batch {
    QStringList urls;
    // How many of `urls` have entered.
    qsizetype taken = 0;
  };
  QList<Batch> batches_;
};

}  // namespace pm
