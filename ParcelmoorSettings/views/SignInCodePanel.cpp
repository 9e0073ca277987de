#include "SignInCodePanel.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/FormRow.h"

namespace pm::settings {

SignInCodePanel::SignInCodePanel(std::function<void(const QUrl&)> openUrl, QWidget* parent)
    : QWidget(parent), openUrl_(std::move(openUrl)) {
  setObjectName(QStringLiteral("account.signInCode"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(12);
  auto* column = new QVBoxLayout();
  column->setSpacing(4);
  auto* sentence = new QLabel(tr("No browser opened? Open this address in any browser and check that it shows "
                                 "this code:"));
  sentence->setWordWrap(true);
  makeCaption(sentence);
  column->addWidget(sentence);

  const auto selectable = Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard;
  address_ = new QLabel();
  address_->setObjectName(QStringLiteral("account.signInAddress"));
  address_->setTextFormat(Qt::PlainText);
  address_->setTextInteractionFlags(selectable);
  address_->setWordWrap(true);
  column->addWidget(address_);

  code_ = new QLabel();
  code_->setObjectName(QStringLiteral("account.signInUserCode"));
  code_->setTextFormat(Qt::PlainText);
  code_->setTextInteractionFlags(selectable);
  QFont monospaced = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  monospaced.setPointSizeF(font().pointSizeF() * 1.6);
  monospaced.setWeight(QFont::DemiBold);
  code_->setFont(monospaced);
  column->addWidget(code_);
  row->addLayout(column, 1);

  open_ = new QPushButton(tr("Open in Browser"));
  open_->setObjectName(QStringLiteral("account.openSignInPage"));
  connect(open_, &QPushButton::clicked, this, [this] {
    if (const QUrl url = page(); url.isValid() && !url.isEmpty()) openUrl_(url);
  });
  row->addWidget(open_, 0, Qt::AlignVCenter);
}

void SignInCodePanel::showCode(const AccountState::SignInCode& code) {
  shown_ = code;
  address_->setText(code.verificationUri.isEmpty() ? code.verificationUriComplete : code.verificationUri);
  code_->setText(code.userCode);
}

QUrl SignInCodePanel::page() const {
  const QString& text = shown_.verificationUriComplete.isEmpty() ? shown_.verificationUri
                                                                 : shown_.verificationUriComplete;
  const QUrl url(text, QUrl::StrictMode);
  // Only a web page: the text comes from the service by way of the shared preferences.
  if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")) return {};
  return url;
}

}  // namespace pm::settings
