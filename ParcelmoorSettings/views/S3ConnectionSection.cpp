#include "S3ConnectionSection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "model/R2Endpoint.h"
#include "views/FlowLabel.h"
#include "views/FormRow.h"
#include "views/FormSection.h"
#include "views/Popover.h"
#include "views/RegionChoice.h"
#include "views/ShareableLinksExplainer.h"
#include "views/SymbolIcon.h"
#include "views/TextField.h"

namespace pm::settings {

S3ConnectionSection::S3ConnectionSection(UploaderConfig& config, S3Credentials& credentials, QUrl serviceBase,
                                         std::function<bool(const QUrl&)> openUrl, QWidget* parent)
    : QWidget(parent),
      config_(config),
      credentials_(credentials),
      serviceBase_(std::move(serviceBase)),
      openUrl_(std::move(openUrl)) {
  setObjectName(QStringLiteral("editor.s3Section"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(18);
  buildConfiguration();
  buildSharing();
}

QLineEdit* S3ConnectionSection::addField(const QString& title, const char* objectName, const QString& text) {
  QLineEdit* field = textField(title, objectName, text);
  configuration_->addRow(title, field);
  return field;
}

void S3ConnectionSection::buildConfiguration() {
  const bool r2 = config_.kind == UploaderConfig::Kind::r2;
  configuration_ = new FormSection(r2 ? tr("Cloudflare R2 Configuration") : tr("AWS S3 Configuration"), this);
  layout()->addWidget(configuration_);

  if (r2) {
    auto* account = new QLineEdit(r2AccountID(config_.endpoint));
    account->setObjectName(QStringLiteral("editor.r2Account"));
    account->setAccessibleName(tr("Account ID"));
    connect(account, &QLineEdit::textEdited, this,
            [this](const QString& text) { config_.endpoint = r2Endpoint(text); });
    configuration_->addRow(
        new FormRow(tr("Account ID"), tr("The 32 characters on the R2 page in your Cloudflare dashboard."),
                    account),
        nullptr);
  } else {
    QLineEdit* endpoint = addField(tr("Endpoint"), "editor.endpoint", config_.endpoint);
    endpoint->setPlaceholderText(endpointExample());
    fitPlaceholder(endpoint);
    connect(endpoint, &QLineEdit::textEdited, this, [this](const QString& text) { config_.endpoint = text; });
  }

  QLineEdit* bucket = addField(tr("Bucket name"), "editor.bucket", config_.bucketName);
  connect(bucket, &QLineEdit::textEdited, this, [this](const QString& text) { config_.bucketName = text; });

  if (!r2) {
    region_ = new QComboBox();
    region_->setObjectName(QStringLiteral("editor.region"));
    region_->setAccessibleName(tr("Region"));
    for (const QString& name : RegionChoice::regions()) region_->addItem(name, name);
    region_->insertSeparator(region_->count());
    region_->addItem(tr("Custom…"), QString::fromLatin1(RegionChoice::kCustom));
    configuration_->addRow(tr("Region"), region_);
    connect(region_, &QComboBox::activated, this,
            [this](int index) { chooseRegion(region_->itemData(index).toString()); });

    regionName_ = new QLineEdit();
    regionName_->setObjectName(QStringLiteral("editor.regionName"));
    regionName_->setAccessibleName(tr("Region name"));
    regionName_->setPlaceholderText(QStringLiteral("auto"));
    connect(regionName_, &QLineEdit::textEdited, this, [this](const QString& text) { config_.region = text; });
    regionNameRow_ = configuration_->addRow(
        new FormRow(tr("Region name"), tr("The region this bucket was signed for."), regionName_), nullptr);
    showRegion();
  }

  auto* folder = new QLineEdit(config_.keyPrefix);
  folder->setObjectName(QStringLiteral("editor.folder"));
  folder->setAccessibleName(tr("Folder"));
  folder->setPlaceholderText(tr("optional"));
  connect(folder, &QLineEdit::textEdited, this, [this](const QString& text) { config_.keyPrefix = text; });
  configuration_->addRow(
      new FormRow(tr("Folder"), tr("Uploads still get their own dated folder inside it."), folder), nullptr);

  accessKey_ = addField(tr("Access key ID"), "editor.accessKey", credentials_.accessKeyID);
  connect(accessKey_, &QLineEdit::textEdited, this,
          [this](const QString& text) { credentials_.accessKeyID = text; });
  secretKey_ = addField(tr("Secret access key"), "editor.secretKey", credentials_.secretAccessKey);
  secretKey_->setEchoMode(QLineEdit::Password);
  connect(secretKey_, &QLineEdit::textEdited, this,
          [this](const QString& text) { credentials_.secretAccessKey = text; });
}

void S3ConnectionSection::buildSharing() {
  auto* sharing = new FormSection(tr("Sharing"), this);
  layout()->addWidget(sharing);

  auto* label = new QWidget();
  auto* texts = new QVBoxLayout(label);
  texts->setContentsMargins(0, 0, 0, 0);
  texts->setSpacing(2);
  texts->addWidget(new FlowLabel(tr("Create shareable links")));
  auto* caption = new FlowLabel(
      tr("Uploaded items will be registered with Parcelmoor and downloadable via %1.")
          .arg(ShareableLinksExplainer::webHost(serviceBase_)));
  caption->setObjectName(QStringLiteral("editor.shareableLinksCaption"));
  makeCaption(caption);
  texts->addWidget(caption);

  auto* controls = new QWidget();
  auto* line = new QHBoxLayout(controls);
  line->setContentsMargins(0, 0, 0, 0);
  line->setSpacing(8);
  auto* toggle = new QCheckBox();
  toggle->setObjectName(QStringLiteral("editor.shareableLinks"));
  toggle->setAccessibleName(tr("Create shareable links"));
  toggle->setChecked(config_.parcelmoorDownloads);
  connect(toggle, &QCheckBox::toggled, this, [this](bool on) { config_.parcelmoorDownloads = on; });
  info_ = new QToolButton();
  info_->setObjectName(QStringLiteral("editor.explainLinks"));
  info_->setAutoRaise(true);
  info_->setIcon(symbolIcon(QStringLiteral("info.circle")));
  info_->setAccessibleName(tr("About shareable links"));
  connect(info_, &QToolButton::clicked, this, &S3ConnectionSection::explainLinks);
  line->addWidget(toggle);
  line->addWidget(info_);
  sharing->addRow(label, controls);
}

void S3ConnectionSection::explainLinks() {
  if (explainer_) return;
  // The popover closes when the user clicks elsewhere, which ends the explanation.
  explainer_ = new ShareableLinksExplainer(config_.kind, serviceBase_, openUrl_);
  auto* popover = new Popover(explainer_, this);
  popover->showAt(*info_);
}

void S3ConnectionSection::chooseRegion(const QString& value) {
  const RegionChoice::Outcome outcome = RegionChoice::choose(value, config_.region);
  config_.region = outcome.region;
  typingRegion_ = outcome.typing;
  showRegion();
}

void S3ConnectionSection::showRegion() {
  const QSignalBlocker quiet(region_);
  region_->setCurrentIndex(region_->findData(RegionChoice::pickerValue(config_.region, typingRegion_)));
  regionName_->setText(config_.region);
  configuration_->setRowVisible(regionNameRow_, RegionChoice::isCustom(config_.region, typingRegion_));
}

bool S3ConnectionSection::isRegionNameShown() const { return regionNameRow_ && !regionNameRow_->isHidden(); }

}  // namespace pm::settings
