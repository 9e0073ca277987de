#include "PreviewWindow.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextBlock>
#include <QVBoxLayout>

#include "panel/ThumbnailLoader.h"
#include "platform/Async.h"
#include "platform/Log.h"

namespace pm {

namespace {

constexpr QSize kLargestPicture(960, 720);
constexpr QSize kSmallestFilePage(360, 280);
constexpr QSize kSmallestText(320, 120);
constexpr int kIconSize = 128;
// A document's picture is shown this many points on its longer side: a desktop's large thumbnail at 1×.
constexpr int kDocumentPicturePoints = 256;

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      pages_(new QStackedWidget(this)),
      picture_(new QLabel(pages_)),
      text_(new QPlainTextEdit(pages_)),
      filePage_(new QWidget(pages_)),
      icon_(new QLabel(filePage_)),
      name_(new QLabel(filePage_)),
      details_(new QLabel(filePage_)) {
  setWindowTitle(tr("Preview"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pages_);

  picture_->setAlignment(Qt::AlignCenter);
  text_->setReadOnly(true);
  // The window keeps the keys: the arrows page and Space closes, also over a text.
  text_->setFocusPolicy(Qt::NoFocus);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The window fits a short text, so bars appear only for a text larger than the largest window.
  text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

  auto* fileLayout = new QVBoxLayout(filePage_);
  fileLayout->setContentsMargins(48, 40, 48, 40);
  fileLayout->setSpacing(8);
  fileLayout->addStretch();
  for (QLabel* label : {icon_, name_, details_}) {
    label->setAlignment(Qt::AlignCenter);
    fileLayout->addWidget(label);
  }
  fileLayout->addStretch();
  name_->setWordWrap(true);
  QFont nameFont = name_->font();
  nameFont.setBold(true);
  nameFont.setPointSizeF(nameFont.pointSizeF() * 1.2);
  name_->setFont(nameFont);
  details_->setForegroundRole(QPalette::PlaceholderText);

  pages_->addWidget(picture_);
  pages_->addWidget(text_);
  pages_->addWidget(filePage_);
}

PreviewWindow::~PreviewWindow() {
  stopDocumentLoad();
}

void PreviewWindow::setSource(ItemCount count, ItemAt itemAt) {
  count_ = std::move(count);
  itemAt_ = std::move(itemAt);
}

void PreviewWindow::setArea(const QRect& area) {
  area_ = area;
  fitToPage();
}

QPoint PreviewWindow::centredOrigin(const QRect& area, const QSize& size) {
  return {area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2};
}

QMargins PreviewWindow::frameMargins() const {
  const QRect frame = frameGeometry();
  const QRect inner = geometry();
  return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
          frame.bottom() - inner.bottom()};
}

QSize PreviewWindow::largestPage() const {
  if (!area_) return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
  return area_->size().shrunkBy(frameMargins()).expandedTo(QSize(1, 1));
}

void PreviewWindow::reloadData() {
  showItem();
}

void PreviewWindow::setCurrentItemIndex(qsizetype index) {
  index_ = index;
  showItem();
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
  const qsizetype count = count_ ? count_() : 0;
  switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
      if (index_ + 1 < count) setCurrentItemIndex(index_ + 1);
      return;
    case Qt::Key_Left:
    case Qt::Key_Up:
      if (index_ > 0) setCurrentItemIndex(index_ - 1);
      return;
    case Qt::Key_Escape:
    case Qt::Key_Space:
      close();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void PreviewWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // The window manager framed the window after it was placed: its frame must fit the area too. A move by
  // the user keeps the frame, and the window stays where the user put it.
  if (area_ && frameMargins() != fittedFrame_) fitToPage();
}

void PreviewWindow::hideEvent(QHideEvent* event) {
  stopDocumentLoad();
  QWidget::hideEvent(event);
}

void PreviewWindow::stopDocumentLoad() {
  if (documentLoad_) documentLoad_->cancel();
  documentLoad_.reset();
}

void PreviewWindow::showItem() {
  stopDocumentLoad();
  ++shown_;
  item_ = itemAt_ ? itemAt_(index_) : std::nullopt;
  if (!item_) {
    setWindowTitle(tr("Preview"));
    showFile(QString());
  } else {
    setWindowTitle(QFileInfo(*item_).fileName());
    QImageReader reader(*item_);
    if (QFileInfo(*item_).isFile() && reader.canRead()) {
      showImage(*item_);
    } else if (!showText(*item_)) {
      showFile(*item_);
    }
  }
  fitToPage();
  Q_EMIT currentItemChanged();
  if (kind_ == Kind::file && item_) loadDocumentPicture(*item_);
}

void PreviewWindow::fitToPage() {
  const QSize largest = largestPage();
  if (kind_ == Kind::image) {
    const QSize natural = pictureImage_.deviceIndependentSize().toSize();
    if (natural.width() > largest.width() || natural.height() > largest.height()) {
      const qreal ratio = pictureImage_.devicePixelRatio();
      QImage reduced = pictureImage_.scaled(natural.scaled(largest, Qt::KeepAspectRatio) * ratio, Qt::KeepAspectRatio,
                                            Qt::SmoothTransformation);
      reduced.setDevicePixelRatio(ratio);
      picture_->setPixmap(QPixmap::fromImage(reduced));
    } else {
      picture_->setPixmap(QPixmap::fromImage(pictureImage_));
    }
  }
  // The window takes the size of what it shows now, not of the largest page it ever showed: the pages
  // not shown give up their content, which would otherwise hold the window's minimum size.
  if (kind_ != Kind::image) {
    picture_->clear();
    pictureImage_ = QImage();
  }
  if (kind_ != Kind::text) text_->clear();
  // The layouts learn of the change only on a later event; the size must be right now.
  pages_->layout()->invalidate();
  pages_->updateGeometry();
  layout()->invalidate();
  layout()->activate();
  QSize page;
  switch (kind_) {
    case Kind::image:
      page = picture_->sizeHint();
      break;
    case Kind::text:
      page = fittingTextSize();
      break;
    case Kind::file:
      page = filePage_->sizeHint().expandedTo(kSmallestFilePage);
      break;
  }
  resize(page.boundedTo(largest));
  fittedFrame_ = frameMargins();
  // Centred anew on every page: a window that only grew from its corner would walk off the screen.
  if (area_) move(centredOrigin(*area_, frameGeometry().size()));
}

QSize PreviewWindow::fittingTextSize() const {
  const QFontMetrics metrics(text_->font());
  int width = 0;
  int lines = 0;
  for (QTextBlock block = text_->document()->begin(); block.isValid(); block = block.next(), ++lines) {
    width = std::max(width, metrics.horizontalAdvance(block.text()));
    // Past the largest page the bars are needed anyway.
    if (width > kTextSize.width() && lines * metrics.lineSpacing() > kTextSize.height()) break;
  }
  const int margins = 2 * (text_->frameWidth() + int(text_->document()->documentMargin())) + metrics.averageCharWidth();
  const QSize content(width + margins, lines * metrics.lineSpacing() + margins);
  return content.expandedTo(kSmallestText).boundedTo(kTextSize);
}

void PreviewWindow::loadDocumentPicture(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) return;
  auto load = [](QPointer<PreviewWindow> window, QString path, quint64 shown, int pixels,
                 CancelTokenPtr cancel) -> QCoro::Task<> {
    const std::optional<QImage> picture = co_await renderedThumbnail(path, pixels, cancel);
    if (!window || window->shown_ != shown || !picture) co_return;
    QImage image = *picture;
    // Shown at the preview's size on every screen: the service renders a page no larger than the page
    // itself, which on a screen of twice the scale is fewer pixels than asked for.
    image.setDevicePixelRatio(std::max(image.width(), image.height()) / double(kDocumentPicturePoints));
    window->showPicture(image);
    window->fitToPage();
    Q_EMIT window->currentItemChanged();
  };
  const int pixels = int(kDocumentPicturePoints * devicePixelRatioF());
  documentLoad_ = makeCancelToken();
  detachTask(load(QPointer<PreviewWindow>(this), path, shown_, pixels, documentLoad_), lcApp,
             "loading a document's picture");
}

void PreviewWindow::showPicture(const QImage& image) {
  kind_ = Kind::image;
  pictureImage_ = image;
  pages_->setCurrentWidget(picture_);
}

void PreviewWindow::showImage(const QString& path) {
  QImageReader reader(path);
  reader.setAutoTransform(true);
  QSize size = reader.size();
  // The size is read before the turn a photo's orientation asks for.
  if (size.isValid() && reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
    size.transpose();
  if (size.isValid() &&
      (size.width() > kLargestPicture.width() || size.height() > kLargestPicture.height())) {
    reader.setScaledSize(size.scaled(kLargestPicture, Qt::KeepAspectRatio));
  }
  const QImage image = reader.read();
  if (image.isNull()) {
    showFile(path);
    return;
  }
  showPicture(image);
}

bool PreviewWindow::showText(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile() || !QMimeDatabase().mimeTypeForFile(info).inherits(QStringLiteral("text/plain")))
    return false;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  kind_ = Kind::text;
  text_->setPlainText(QString::fromUtf8(file.read(kTextLimit)));
  pages_->setCurrentWidget(text_);
  return true;
}

void PreviewWindow::showFile(const QString& path) {
  kind_ = Kind::file;
  const QFileInfo info(path);
  icon_->setPixmap(QFileIconProvider().icon(info).pixmap(kIconSize, kIconSize));
  name_->setText(info.fileName());
  if (path.isEmpty() || !info.exists()) {
    details_->setText(tr("This file is no longer there."));
  } else if (info.isDir()) {
    details_->setText(tr("Folder"));
  } else {
    details_->setText(QLocale().formattedDataSize(info.size()));
  }
  pages_->setCurrentWidget(filePage_);
}

}  // namespace pm
