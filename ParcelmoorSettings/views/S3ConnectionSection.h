#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

#include "core/S3Credentials.h"
#include "core/UploaderConfig.h"
#include "views/ShareableLinksExplainer.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QToolButton;

namespace pm::settings {

class FormSection;

// The editor's section for S3 and R2 buckets: where the bucket is, its key pair, and whether uploads get
// share links through the service. It edits `config` and `credentials` in place; saving is the editor's.
class S3ConnectionSection final : public QWidget {
  Q_OBJECT

 public:
  // The explainer's guide lives under `serviceBase` and opens with `openUrl`.
  S3ConnectionSection(UploaderConfig& config, S3Credentials& credentials, QUrl serviceBase,
                      std::function<bool(const QUrl&)> openUrl, QWidget* parent = nullptr);

  QComboBox* regionPicker() const { return region_; }
  QLineEdit* regionNameField() const { return regionName_; }
  bool isRegionNameShown() const;
  // The explanation while it is open.
  ShareableLinksExplainer* explainer() const { return explainer_; }
  void explainLinks();

  static QString endpointExample() { return QStringLiteral("https://s3.eu-west-1.amazonaws.com"); }

 private:
  void buildConfiguration();
  void buildSharing();
  QLineEdit* addField(const QString& title, const char* objectName, const QString& text);
  void chooseRegion(const QString& value);
  void showRegion();

  UploaderConfig& config_;
  S3Credentials& credentials_;
  const QUrl serviceBase_;
  const std::function<bool(const QUrl&)> openUrl_;
  bool typingRegion_ = false;

  FormSection* configuration_ = nullptr;
  QComboBox* region_ = nullptr;
  QWidget* regionNameRow_ = nullptr;
  QLineEdit* regionName_ = nullptr;
  QLineEdit* accessKey_ = nullptr;
  QLineEdit* secretKey_ = nullptr;
  QToolButton* info_ = nullptr;
  QPointer<ShareableLinksExplainer> explainer_;
};

}  // namespace pm::settings
