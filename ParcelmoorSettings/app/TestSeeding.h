#pragma once

#include <QProcessEnvironment>

namespace pm {
class SharedDefaults;
}

namespace pm::settings {

// Whether PARCELMOOR_TEST_SUITE is present (with any value, an empty one too): then the program runs for
// a test, without watching the agent, and seeds the agent's published state from the environment.
bool isTestSuite();

// Only for a test run: stores the bytes of standard Base64 PARCELMOOR_TEST_ACCOUNT under "accountState"
// and of PARCELMOOR_TEST_SYNC under "syncState", unchanged and unchecked. A value that is not strict
// Base64 (padding included) is ignored without a message. Posts nothing: no page exists yet.
void seedTestState(SharedDefaults& defaults, const QProcessEnvironment& environment, bool testSuite);

}  // namespace pm::settings
