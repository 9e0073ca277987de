#pragma once

namespace pm::test {

// Hands this process's home and XDG folders to the session bus, so that services it starts on demand
// (the thumbnailer) write where the tests read. The test session makes a throw-away home after the bus
// started; every test program of that session hands over the same one. Quietly does nothing without a bus.
void shareHomeWithBusActivatedServices();

}  // namespace pm::test
