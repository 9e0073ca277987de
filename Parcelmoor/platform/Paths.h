#pragma once

#include <QString>

namespace pm {

// Where the system keeps its files. Tests build one under a temporary root; the programs use standard().
struct Paths {
  QString groupContainer;      // shared with the senders of inbox batches: Inbox/ and the wake marker
  QString applicationSupport;  // the agent's own data: the history file
  QString suiteDirectory;      // one JSON file per preferences suite
  QString temporary;           // sealed parts and upload copies

  // $XDG_DATA_HOME/K7XQ2PL9ZD.com.wrenfold.Parcelmoor, $XDG_DATA_HOME/Parcelmoor,
  // $XDG_CONFIG_HOME/parcelmoor and QDir::tempPath(), with the XDG defaults under $HOME.
  static Paths standard();
  static Paths under(const QString& root);

  QString inbox() const;
  QString uploadWake() const;
  QString historyFile() const;
  QString suiteFile(const QString& suiteName) const;
};

// Creates `path` (and its parents) when missing, the folder itself private to the user (0700) from the
// start, and tightens an existing one to 0700.
bool ensurePrivateDirectory(const QString& path);

}  // namespace pm
