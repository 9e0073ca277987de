#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>

#include "core/UploaderConfig.h"

class QLabel;

namespace pm::settings {

// What switching on share links for one's own S3 or R2 bucket hands to the service, and a link to the
// kind's setup guide.
class ShareableLinksExplainer final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 320;

  // The guide is `helpURL(kind)` under `serviceBase`, opened with `openUrl`.
  ShareableLinksExplainer(UploaderConfig::Kind kind, const QUrl& serviceBase,
                          std::function<bool(const QUrl&)> openUrl, QWidget* parent = nullptr);

  const QUrl& guide() const { return guide_; }
  QLabel* guideLink() const { return guideLink_; }

  // The host share links are served from, named in the texts: the service this program talks to.
  static QString webHost(const QUrl& serviceBase);
  // `text` as rich text, the words between double asterisks bold and the rest escaped.
  static QString emphasised(const QString& text);

 private:
  QUrl guide_;
  QLabel* guideLink_ = nullptr;
};

}  // namespace pm::settings
