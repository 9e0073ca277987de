#pragma once

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <chrono>

#include "core/AppSettings.h"
#include "core/BucketHistory.h"
#include "panel/UploadPanel.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"
#include "upload/BucketStore.h"

namespace pm::test {

// One panel with a store and settings of its own, and waits short enough for tests.
struct PanelRig {
  static constexpr UploadPanel::Timings kTimings{std::chrono::milliseconds(40), std::chrono::milliseconds(5)};

  explicit PanelRig(PanelEdge edge = PanelEdge::left, UploadPanel::Timings timings = kTimings)
      : panel(timings) {
    settings.setPanelEdge(edge);
    panel.attach(store, settings);
  }

  // Shows the panel and waits until its content is in and still.
  bool showAndSettle();

  TempRoot root;
  ManualClock clock;
  MemorySharedDefaults defaults;
  LocalSignals signals;
  BucketHistory history{root.file(QStringLiteral("buckets.json")), clock};
  BucketStore store{history, [](const std::optional<SharedInbox::OpenBucket>&) {}, clock};
  AppSettings settings{defaults, signals, clock};
  UploadPanel panel;
};

QScreen* screenNamed(const QString& name);
// Moves the pointer to the middle of the screen `name`.
void pointAt(const QString& name, QPoint offset = {});

}  // namespace pm::test
