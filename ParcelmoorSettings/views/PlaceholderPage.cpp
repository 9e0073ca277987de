#include "PlaceholderPage.h"

#include <QLabel>
#include <QVBoxLayout>

namespace pm::settings {

PlaceholderPage::PlaceholderPage(const QString& title, const QString& objectName, QWidget* parent)
    : QWidget(parent) {
  setObjectName(objectName);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  auto* heading = new QLabel(title);
  QFont font = heading->font();
  font.setPointSizeF(font.pointSizeF() * 1.4);
  font.setBold(true);
  heading->setFont(font);
  heading->setAlignment(Qt::AlignCenter);
  auto* note = new QLabel(tr("These settings are not available in this version."));
  note->setAlignment(Qt::AlignCenter);
  note->setForegroundRole(QPalette::PlaceholderText);
  layout->addWidget(heading);
  layout->addWidget(note);
  layout->addStretch(1);
}

}  // namespace pm::settings
