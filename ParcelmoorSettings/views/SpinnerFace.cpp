#include "SpinnerFace.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "views/Spinner.h"
#include "views/TextTone.h"

namespace pm::settings {

SpinnerFace::SpinnerFace(QPushButton* button, const QString& text, int diameter)
    : QWidget(button), button_(button), label_(new QLabel(text, this)) {
  auto* face = new QHBoxLayout(button);
  face->setContentsMargins(10, 0, 10, 0);
  face->addWidget(this);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);
  row->addStretch(1);
  row->addWidget(new Spinner(diameter, this));
  // The button is disabled while its work runs; what it says is still meant to be read, in the text's own
  // colour (a secondary grey would fade into the button's face).
  setTextTone(label_, TextTone::primary);
  row->addWidget(label_);
  row->addStretch(1);
  hide();
}

void SpinnerFace::setShown(bool shown) {
  setVisible(shown);
  button_->setMinimumWidth(shown ? button_->layout()->sizeHint().width() : 0);
}

}  // namespace pm::settings
