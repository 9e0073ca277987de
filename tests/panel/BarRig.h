#pragma once

#include <QNetworkAccessManager>

#include "PanelRig.h"
#include "core/UserNotifications.h"
#include "panel/QuickLookPreview.h"
#include "panel/UploadPanelView.h"
#include "platform/Notifier.h"
#include "platform/SoundPlayer.h"
#include "support/ScriptedUploader.h"
#include "tests/panel/TileTesting.h"
#include "upload/UploadSession.h"

namespace pm::test {

// A shown panel with the bar's services recorded, and a session over a scripted uploader.
struct BarRig {
  explicit BarRig(PanelEdge edge = PanelEdge::left) : panel(edge) {
    panel.panel.setBarServices({&panel.clock, &files, &preview, &notifications, &panel.defaults, &sounds, &panel.clock});
  }

  // Opens a session on the current bucket; the uploader stays reachable through `uploader`.
  std::shared_ptr<UploadSession> openSession() {
    return panel.store.session(UploaderConfig(UploaderConfig::Kind::customS3), [this] {
      auto made = std::make_unique<ScriptedUploader>(network);
      uploader = made.get();
      return made;
    });
  }
  bool show() {
    if (!panel.showAndSettle()) return false;
    view().setAnimationScale(0);
    return true;
  }
  UploadPanelView& view() const { return *panel.panel.view(); }
  // Files named `names`, added to the open session and uploaded.
  QStringList addFiles(const QStringList& names) {
    QStringList paths;
    for (const QString& name : names) paths << writePicture(panel.root, name, QSize(90, 60));
    panel.store.session()->enqueue(paths);
    return paths;
  }
  QList<QUuid> itemIDs() const {
    QList<QUuid> ids;
    for (const auto& item : panel.store.current().items()) ids << item->id();
    return ids;
  }

  PanelRig panel;
  QNetworkAccessManager network;
  RecordingFileViewer files;
  QuickLookPreview preview;
  MemoryNotifier notifier;
  UserNotifications notifications{panel.defaults, panel.signals, notifier};
  RecordingSoundPlayer sounds;
  ScriptedUploader* uploader = nullptr;
};

}  // namespace pm::test
