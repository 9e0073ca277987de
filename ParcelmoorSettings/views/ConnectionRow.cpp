#include "ConnectionRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "model/ConnectionSymbols.h"
#include "views/FlowLabel.h"
#include "views/FormRow.h"
#include "views/SymbolView.h"
#include "views/TextTone.h"

namespace pm::settings {

ConnectionRow::ConnectionRow(const UploaderConfig& config, bool configured, QWidget* parent)
    : QWidget(parent), opacity_(configured ? 1.0 : 0.5) {
  auto* line = new QHBoxLayout(this);
  line->setContentsMargins(0, 2, 0, 2);
  line->setSpacing(10);
  auto* symbol = new SymbolView(displaySymbol(config), 20, SymbolTone::text, this);
  symbol->setObjectName(QStringLiteral("apps.rowSymbol"));
  line->addWidget(symbol, 0, Qt::AlignTop);

  auto* texts = new QVBoxLayout();
  texts->setSpacing(1);
  auto* title = new FlowLabel(config.displayName(), this);
  title->setObjectName(QStringLiteral("apps.rowTitle"));
  texts->addWidget(title);
  failure_ = new QWidget(this);
  auto* failureLine = new QHBoxLayout(failure_);
  failureLine->setContentsMargins(0, 0, 0, 0);
  failureLine->setSpacing(4);
  auto* warning = new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 12, SymbolTone::warning, failure_);
  failureText_ = new FlowLabel(QString(), failure_);
  failureText_->setObjectName(QStringLiteral("apps.rowFailure"));
  makeCaption(failureText_);
  setTextTone(failureText_, TextTone::warning);
  failureLine->addWidget(warning, 0, Qt::AlignTop);
  failureLine->addWidget(failureText_, 1);
  texts->addWidget(failure_);
  line->addLayout(texts, 1);

  // A connection that lacks what it needs is shown fainter, but its texts stay readable: the symbol fades
  // and the title takes the secondary colour rather than the whole row going half transparent.
  if (!configured) {
    symbol->setFaded(true);
    setTextTone(title, TextTone::secondary);
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
