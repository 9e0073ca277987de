#pragma once

#include <QPointer>
#include <QString>

#include <functional>

namespace pm {

class AppDelegate;
class Signals;

// A request handler. It gets the delegate from its box, or null when the delegate is gone or the handler
// was registered without a box.
using AgentHandler = std::function<void(AppDelegate* delegate)>;

// Registers one request signal for the rest of the process: the bus observation of `name` and a handler
// that runs on the main thread with the delegate `box` holds weakly.
void observeAgentNotification(Signals& signals, const QString& name, AgentHandler handler,
                              QPointer<AppDelegate> box = {});

}  // namespace pm
