#include "SyncCodeSheet.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/GroupedText.h"
#include "views/Spinner.h"

namespace pm::settings {

SyncCodeSheet::SyncCodeSheet(QString code, std::function<void()> onCancel, QWidget* parent)
    : PairingSheet(std::move(onCancel), parent), code_(std::move(code)) {
  setObjectName(QStringLiteral("syncCodeSheet"));
  setWindowTitle(tr("Connect another device"));
  addHeader(new QLabel(tr("Connect another device")),
            makeNote(tr("On your new device, turn sync on and type this code. That device gets the key to "
                        "read your apps.")));

  auto* shown = new QLabel(groupedText(code_, 3));
  shown->setObjectName(QStringLiteral("syncCodeSheet.code"));
  QFont monospaced = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  monospaced.setPixelSize(40);
  monospaced.setWeight(QFont::DemiBold);
  shown->setFont(monospaced);
  shown->setAlignment(Qt::AlignCenter);
  shown->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  shown->setContentsMargins(0, 26, 0, 26);
  body()->addWidget(shown);

  auto* waiting = new QHBoxLayout();
  waiting->setContentsMargins(0, 0, 0, 22);
  waiting->setSpacing(8);
  waiting->addStretch(1);
  waiting->addWidget(new Spinner(14));
  auto* note = makeNote(tr("Waiting for your new device\u2026"));
  note->setWordWrap(false);
  waiting->addWidget(note);
  waiting->addStretch(1);
  body()->addLayout(waiting);

  addFooter();
}

}  // namespace pm::settings
