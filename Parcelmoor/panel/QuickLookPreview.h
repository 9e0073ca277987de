#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <optional>

namespace pm {

class PreviewWindow;

// Previews the bucket's files in a window of our own, in front and centred on the screen under the
// mouse, where it stays whole on every page; the user pages through the files in bucket order. The agent
// owns one and hands it to the bar.
class QuickLookPreview final : public QObject {
  Q_OBJECT

 public:
  explicit QuickLookPreview(QObject* parent = nullptr);
  ~QuickLookPreview() override;

  // Opens the preview on `focus`, paging through `among` when it holds `focus` (from its first
  // occurrence), else through `focus` alone. Paths are local files.
  void show(const QString& focus, const QStringList& among);

  const QStringList& urls() const { return urls_; }
  qsizetype numberOfPreviewItems() const { return urls_.size(); }
  // Nothing for an index outside the list.
  std::optional<QString> previewItem(qsizetype index) const;

  // Nothing before the first show().
  PreviewWindow* window() const { return window_; }

 private:
  QStringList urls_;
  QPointer<PreviewWindow> window_;
};

}  // namespace pm
