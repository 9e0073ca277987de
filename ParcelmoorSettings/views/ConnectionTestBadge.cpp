#include "ConnectionTestBadge.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

#include "views/SymbolIcon.h"

namespace pm::settings {

ConnectionTestBadge::ConnectionTestBadge(QWidget* parent)
    : QWidget(parent), spinner_(new QProgressBar(this)), text_(new QLabel(this)), symbol_(new QLabel(this)) {
  auto* line = new QHBoxLayout(this);
  line->setContentsMargins(0, 0, 0, 0);
  line->setSpacing(5);
  // No range: the bar runs as an indicator of work without an end known.
  spinner_->setRange(0, 0);
  spinner_->setTextVisible(false);
  spinner_->setFixedSize(40, 8);
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
    text_->setStyleSheet(QString());
    text_->setForegroundRole(QPalette::PlaceholderText);
    symbol_->setPixmap(symbolIcon(QStringLiteral("checkmark.circle.fill")).pixmap(14, 14));
    setToolTip(test->message());
  } else if (failed) {
    text_->setText(tr("Failed"));
    text_->setStyleSheet(QStringLiteral("color: #e67e00;"));
    symbol_->setPixmap(symbolIcon(QStringLiteral("exclamationmark.circle.fill")).pixmap(14, 14));
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
