#pragma once

#include <QObject>
#include <QString>

#include <QCoroTask>

#include <functional>

namespace pm {

// What the agent's shell asks of settings sync: the start-up poll, the request handlers' calls and a look
// at the pairing flow. The coordinator itself decides whether a call does anything (no sync key, a flow
// or pull already running, ...). Lives on the main thread.
class SyncCoordinating : public QObject {
  Q_OBJECT

 public:
  // One pairing or enabling task, run by the coordinator as its flow.
  using Flow = std::function<QCoro::Task<>()>;

  using QObject::QObject;

  // Pulls once now and then on the coordinator's poll interval.
  virtual void startPolling() = 0;
  virtual void pull() = 0;
  // Pushes the local settings a little later, unless a remote change was just applied.
  virtual void schedulePush() = 0;
  virtual void enable() = 0;
  virtual void disable() = 0;
  // Joins with the pairing code the settings program stored under "pendingSyncCode".
  virtual void submitPendingCode() = 0;
  // Cancels the running flow and runs `flow` in its place.
  virtual void startFlow(Flow flow) = 0;
  // The offering side of pairing with `key`.
  virtual QCoro::Task<> offer(QString key) = 0;
  virtual void cancelPairing() = 0;
  // Whether a flow is set and not cancelled.
  virtual bool hasRunningFlow() const = 0;
};

}  // namespace pm
