#include "ConnectionTestBadge.h"

#include <QHBoxLayout>
#include <QLabel>

#include "views/Spinner.h"
#include "views/SymbolView.h"
#include "views/TextTone.h"

namespace pm::settings {

ConnectionTestBadge::ConnectionTestBadge(QWidget* parent)
    : QWidget(parent),
      spinner_(new Spinner(14, this)),
      text_(new QLabel(this)),
      symbol_(new SymbolView(QStringLiteral("checkmark.circle.fill"), 14, SymbolTone::text, this)) {
  auto* line = new QHBoxLayout(this);
  line->setContentsMargins(0, 0, 0, 0);
  line->setSpacing(5);
  line->addWidget(spinner_);
  line->addWidget(text_);
  line->addWidget(symbol_);
  show(std::nullopt);
}

void ConnectionTestBadge::show(const std::optional<ConnectionTest>& test) {
  const bool running = test && test->state() == ConnectionTest::State::running;
  const bool ok = test && test->state() == ConnectionTest::State::ok;
  const bool failed = test && test->state() == ConnectionTest::State::failed;
  spinner_->setVisible(running);
  text_->setVisible(ok || failed);
  symbol_->setVisible(ok || failed);
  if (ok) {
    text_->setText(tr("Connected"));
    setTextTone(text_, TextTone::secondary);
    symbol_->setSymbol(QStringLiteral("checkmark.circle.fill"), SymbolTone::text);
    setToolTip(test->message());
  } else if (failed) {
    text_->setText(tr("Failed"));
    setTextTone(text_, TextTone::warning);
    symbol_->setSymbol(QStringLiteral("exclamationmark.circle.fill"), SymbolTone::warning);
    // The row shows why.
    setToolTip(QString());
  } else {
    text_->clear();
    setToolTip(QString());
  }
}

bool ConnectionTestBadge::isSpinning() const { return !spinner_->isHidden(); }

QString ConnectionTestBadge::text() const { return text_->isHidden() ? QString() : text_->text(); }

}  // namespace pm::settings
