#include "ConnectionRow.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "model/ConnectionSymbols.h"
#include "views/FormRow.h"
#include "views/SymbolIcon.h"

namespace pm::settings {

ConnectionRow::ConnectionRow(const UploaderConfig& config, bool configured, QWidget* parent)
    : QWidget(parent), opacity_(configured ? 1.0 : 0.5) {
  auto* line = new QHBoxLayout(this);
  line->setContentsMargins(0, 2, 0, 2);
  line->setSpacing(10);
  auto* symbol = new QLabel(this);
  symbol->setPixmap(symbolIcon(displaySymbol(config)).pixmap(20, 20));
  symbol->setFixedWidth(20);
  line->addWidget(symbol);

  auto* texts = new QVBoxLayout();
  texts->setSpacing(1);
  auto* title = new QLabel(config.displayName(), this);
  title->setObjectName(QStringLiteral("apps.rowTitle"));
  texts->addWidget(title);
  failure_ = new QWidget(this);
  auto* failureLine = new QHBoxLayout(failure_);
  failureLine->setContentsMargins(0, 0, 0, 0);
  failureLine->setSpacing(4);
  auto* warning = new QLabel(failure_);
  warning->setPixmap(symbolIcon(QStringLiteral("exclamationmark.triangle.fill")).pixmap(12, 12));
  failureText_ = new QLabel(failure_);
  failureText_->setWordWrap(true);
  makeCaption(failureText_);
  failureText_->setStyleSheet(QStringLiteral("color: #e67e00;"));
  failureLine->addWidget(warning, 0, Qt::AlignTop);
  failureLine->addWidget(failureText_, 1);
  texts->addWidget(failure_);
  line->addLayout(texts, 1);

  if (!configured) {
    auto* effect = new QGraphicsOpacityEffect(this);
    effect->setOpacity(opacity_);
    setGraphicsEffect(effect);
  }
  showTest(std::nullopt);
}

void ConnectionRow::showTest(const std::optional<ConnectionTest>& test) {
  const bool failed = test && test->state() == ConnectionTest::State::failed;
  failureText_->setText(failed ? test->message() : QString());
  failure_->setVisible(failed);
}

QString ConnectionRow::failureText() const { return failure_->isHidden() ? QString() : failureText_->text(); }

}  // namespace pm::settings
