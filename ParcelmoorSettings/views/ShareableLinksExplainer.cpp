#include "ShareableLinksExplainer.h"

#include <QLabel>
#include <QVBoxLayout>

#include "views/HelpURL.h"

namespace pm::settings {

ShareableLinksExplainer::ShareableLinksExplainer(UploaderConfig::Kind kind, const QUrl& serviceBase,
                                                 std::function<bool(const QUrl&)> openUrl, QWidget* parent)
    : QWidget(parent), guide_(helpURL(kind, serviceBase)) {
  setObjectName(QStringLiteral("shareableLinksExplainer"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 16, 16, 16);
  column->setSpacing(10);

  auto* headline = new QLabel(tr("About shareable links"), this);
  QFont bold = headline->font();
  bold.setBold(true);
  headline->setFont(bold);
  column->addWidget(headline);

  const QString host = webHost(serviceBase);
  const QStringList paragraphs{
      tr("Your files stay in your own bucket. Their names, sizes and paths go to Parcelmoor as a blob only "
         "the password opens, and that blob is what a %1 link can hand to someone else.")
          .arg(host),
      tr("That password is made on this computer, once per upload, and lands on your clipboard beside the "
         "link. We **never** store it — only a hash to check it against."),
      tr("What we do keep is the folder the box lives in, and this connection's access key to sign the "
         "downloads with. So this is **not** zero-knowledge: that key could list what is in that folder. "
         "That key needs to be allowed to read, and the bucket needs CORS for %1.")
          .arg(host),
      tr("Three links stay live at a time, or twenty with Parcelmoor+, across all your own storage together. "
         "Sealing a new box drops the oldest — its link, its file list and the folder we noted, never your "
         "files.")};
  for (const QString& paragraph : paragraphs) {
    auto* label = new QLabel(emphasised(paragraph), this);
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    column->addWidget(label);
  }

  guideLink_ = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                              .arg(guide_.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                   tr("Read the setup guide").toHtmlEscaped()),
                          this);
  guideLink_->setObjectName(QStringLiteral("shareableLinksExplainer.guide"));
  guideLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(guideLink_, &QLabel::linkActivated, this,
          [this, openUrl = std::move(openUrl)] { openUrl(guide_); });
  column->addWidget(guideLink_);

  // Grows in height, never in width.
  setFixedWidth(kWidth);
  adjustSize();
}

QString ShareableLinksExplainer::webHost(const QUrl& serviceBase) {
  // The port belongs to the name when the service runs on one of its own (a development service).
  const int port = serviceBase.port();
  return port < 0 ? serviceBase.host() : QStringLiteral("%1:%2").arg(serviceBase.host()).arg(port);
}

QString ShareableLinksExplainer::emphasised(const QString& text) {
  const QStringList parts = text.split(QStringLiteral("**"));
  QString html;
  for (qsizetype index = 0; index < parts.size(); ++index) {
    // Odd pieces sit between a pair of markers; an unpaired last marker stays plain text.
    const bool bold = index % 2 == 1 && index + 1 < parts.size();
    const QString piece = parts[index].toHtmlEscaped();
    if (bold) html += QStringLiteral("<b>%1</b>").arg(piece);
    else html += (index % 2 == 1 ? QStringLiteral("**") : QString()) + piece;
  }
  return html;
}

}  // namespace pm::settings
