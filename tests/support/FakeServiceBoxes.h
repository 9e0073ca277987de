#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

#include "support/FakeService.h"

namespace pm::test {

// The share side of the fake service for buckets in the user's own S3 or R2 storage. "PUT connectors"
// keeps a connector (its bucket and key pair); "POST boxes" registers a box over a connector it holds and
// answers {"id", "url"}. A box request that repeats an idempotency key gets the first box's answer and
// makes no new box. Both routes need a session. Declare it after the service it extends.
class FakeServiceBoxes {
 public:
  struct Box {
    QString id;
    QString url;
    QJsonObject body;  // the registration as the service received it
  };

  explicit FakeServiceBoxes(FakeService& service);

  // Every connector body received, in order.
  QList<QJsonObject> connectorBodies() const;
  // The boxes made, one per idempotency key, in order.
  QList<Box> boxes() const;

 private:
  struct State;

  FakeService& service_;
  std::shared_ptr<State> state_;
};

}  // namespace pm::test
