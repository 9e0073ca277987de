#pragma once

#include <QImage>
#include <QMargins>
#include <QWidget>

#include <functional>
#include <optional>

#include "platform/Async.h"

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace pm {

// The window that previews the bucket's files one at a time: a picture, the start of a text file, the
// desktop's thumbnail of a document, or else the file's icon, name and size. The window takes the size of
// what it shows. The arrow keys page through the files its source holds; Escape
// and Space close it.
class PreviewWindow final : public QWidget {
  Q_OBJECT

 public:
  enum class Kind { image, text, file };
  using ItemCount = std::function<qsizetype()>;
  using ItemAt = std::function<std::optional<QString>(qsizetype index)>;

  // The most of a text file shown; a preview is a glance, not an editor.
  static constexpr qint64 kTextLimit = 256 * 1024;
  // The largest a text's page grows; a longer or wider text scrolls within it.
  static constexpr QSize kTextSize{640, 480};

  explicit PreviewWindow(QWidget* parent = nullptr);
  ~PreviewWindow() override;

  void setSource(ItemCount count, ItemAt itemAt);
  // Keeps the whole window, frame included, within `area` (a screen's available geometry) and centred on
  // it, on every page: a picture larger than the area is shown reduced.
  void setArea(const QRect& area);
  // Where a window of `size` goes to stand centred on `area`.
  static QPoint centredOrigin(const QRect& area, const QSize& size);
  // Reads the source again and shows the current index.
  void reloadData();
  void setCurrentItemIndex(qsizetype index);
  qsizetype currentItemIndex() const { return index_; }
  const std::optional<QString>& currentItem() const { return item_; }
  Kind currentKind() const { return kind_; }

 Q_SIGNALS:
  void currentItemChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void showItem();
  void stopDocumentLoad();
  void showImage(const QString& path);
  bool showText(const QString& path);
  void showFile(const QString& path);
  // Replaces the icon of a document with the desktop's picture of its content once that is there.
  void loadDocumentPicture(const QString& path);
  void showPicture(const QImage& image);
  // Sizes the window to the shown page within the area and centres it there.
  void fitToPage();
  // The frame the window manager put around the window, as far as it is known yet.
  QMargins frameMargins() const;
  // The most the page may take so that the framed window fits the area.
  QSize largestPage() const;
  // The size that shows the current text whole, up to the largest text page.
  QSize fittingTextSize() const;

  ItemCount count_;
  ItemAt itemAt_;
  qsizetype index_ = 0;
  // Counts the items shown, so that a document's picture that arrives late is dropped if the user paged on.
  quint64 shown_ = 0;
  // Stops the load of the shown document's picture once the user pages on or closes the window: paged
  // quickly past many documents, the desktop's thumbnailer would render them all for nobody.
  CancelTokenPtr documentLoad_;
  std::optional<QString> item_;
  Kind kind_ = Kind::file;
  // The shown picture as decoded; the page shows it reduced when the area is smaller.
  QImage pictureImage_;
  std::optional<QRect> area_;
  // The frame the last fit made room for: the window manager frames the window only after it is shown.
  QMargins fittedFrame_;
  QStackedWidget* pages_;
  QLabel* picture_;
  QPlainTextEdit* text_;
  QWidget* filePage_;
  QLabel* icon_;
  QLabel* name_;
  QLabel* details_;
};

}  // namespace pm
