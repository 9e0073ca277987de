#pragma once

namespace pm {

// The program's update checker. On Linux the distribution's package manager updates the program, so
// nothing is downloaded here: the updater keeps the user's automatic-check preference and logs a
// requested check.
class Updater {
 public:
  // Started at creation, checking automatically until told otherwise.
  Updater();

  bool automaticallyChecks() const { return automaticallyChecks_; }
  void setAutomaticallyChecks(bool enabled);
  void checkNow();

 private:
  bool automaticallyChecks_ = true;
};

}  // namespace pm
