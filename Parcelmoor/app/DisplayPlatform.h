#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace pm {

// How the agent reaches the screen. The panel places itself, which only X11 allows, so the agent uses
// X11 (through XWayland in a Wayland session) unless QT_QPA_PLATFORM already says otherwise.
struct DisplayChoice {
  std::optional<QByteArray> platform;  // the QT_QPA_PLATFORM to set; nothing keeps the environment's
  std::optional<QString> problem;      // why the agent cannot start: no display at all
};

DisplayChoice chooseDisplayPlatform(const QProcessEnvironment& environment);

}  // namespace pm
