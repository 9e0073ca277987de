#include "panel/UploadErrorPopover.h"

#include <QLabel>
#include <QVBoxLayout>

#include "core/Bucket.h"
#include "panel/PopoverStyle.h"

namespace pm {

namespace {

constexpr int kContentWidth = 200;
constexpr int kPadding = 10;

QLabel* wrappingLabel(const QString& text, const QString& role, TextEmphasis emphasis, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(role);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setFont(bodyFont(parent->font()));
  styleLabel(*label, emphasis);
  return label;
}

}  // namespace

UploadErrorPopover::UploadErrorPopover(std::shared_ptr<BucketItem> item, QWidget* parent)
    : QWidget(parent),
      item_(std::move(item)),
      itemNotifier_(item_->notifier()),
      list_(new QWidget(this)),
      listLayout_(new QVBoxLayout(list_)) {
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  stack->setSpacing(0);

  auto* title = new QLabel(tr("Upload failed"), this);
  title->setObjectName(QStringLiteral("title"));
  title->setFont(headlineFont(font()));
  stack->addWidget(title);

  const QString intro =
      item_->isDirectory()
          ? tr("One or more files in your folder named \"%1\" have failed to upload and gave the following errors:")
                .arg(item_->name())
          : tr("Your item named \"%1\" has failed to upload and gave the following error:").arg(item_->name());
  QLabel* introduction = wrappingLabel(intro, QStringLiteral("introduction"), TextEmphasis::secondary, this);
  introduction->setContentsMargins(0, 3, 0, 8);
  stack->addWidget(introduction);

  listLayout_->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(list_);

  setFixedWidth(kContentWidth + 2 * kPadding);
  rebuildList();
  connect(itemNotifier_.get(), &BucketItemNotifier::errorsChanged, this, [this] {
    rebuildList();
    adjustSize();
  });
}

void UploadErrorPopover::rebuildList() {
  for (QWidget* old : list_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) delete old;

  // The map keeps its keys in ascending order, which is the order the user reads them in.
  const BucketItem::Errors& errors = item_->errors();
  for (auto entry = errors.cbegin(); entry != errors.cend(); ++entry) {
    QWidget* group = list_;
    QVBoxLayout* lines = listLayout_;
    if (item_->isDirectory()) {
      group = new QWidget(list_);
      lines = new QVBoxLayout(group);
      lines->setContentsMargins(0, 0, 0, 0);
      lines->setSpacing(0);
      lines->addWidget(wrappingLabel(entry.key(), QStringLiteral("errorKey"), TextEmphasis::primary, group));
      listLayout_->addWidget(group);
    }
    for (const UploadError& error : entry.value()) {
      lines->addWidget(wrappingLabel(error.message(), QStringLiteral("errorMessage"), TextEmphasis::tertiary, group));
    }
  }
}

}  // namespace pm
