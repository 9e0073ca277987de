#include "AboutSyncPopover.h"

#include <QLabel>
#include <QVBoxLayout>

namespace pm::settings {

AboutSyncPopover::AboutSyncPopover(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("account.aboutSync"));
  auto* column = new QVBoxLayout(this);
  constexpr int kPadding = 16;
  column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  // Wrapped lines of a known width give the popover its exact height.
  column->setSizeConstraint(QLayout::SetFixedSize);
  column->setSpacing(10);

  auto* title = new QLabel(tr("About sync"));
  QFont headline = title->font();
  headline.setBold(true);
  title->setFont(headline);
  title->setFixedWidth(kWidth - 2 * kPadding);
  column->addWidget(title);

  const QString paragraphs[] = {
      tr("Sync your Apps, Uploads and Settings across multiple devices."),
      tr("Your Apps data is encrypted <b>on device</b> and never accessible by us. Your devices are the only "
         "ones who can decrypt these credentials."),
      tr("A new device joins by typing the six-character code this one shows. The key travels sealed to that "
         "device and to nothing else \u2014 or comes from your recovery kit, if no device is left to show a "
         "code."),
  };
  for (const QString& text : paragraphs) {
    auto* paragraph = new QLabel(text);
    paragraph->setTextFormat(Qt::RichText);
    paragraph->setWordWrap(true);
    paragraph->setFixedWidth(kWidth - 2 * kPadding);
    column->addWidget(paragraph);
  }
}

}  // namespace pm::settings
