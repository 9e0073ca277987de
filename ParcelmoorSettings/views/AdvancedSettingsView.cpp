#include "AdvancedSettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include "core/PanelEdge.h"
#include "model/AppSettings.h"
#include "platform/NotificationSettings.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "views/FlowLabel.h"
#include "views/FormRow.h"
#include "views/FormSection.h"
#include "views/TextTone.h"
#include "views/VersionText.h"

namespace pm::settings {

namespace {

QString edgeTitle(PanelEdge edge) {
  switch (edge) {
    case PanelEdge::left:
      return AdvancedSettingsView::tr("Left");
    case PanelEdge::top:
      return AdvancedSettingsView::tr("Top");
    case PanelEdge::right:
      return AdvancedSettingsView::tr("Right");
  }
  Q_UNREACHABLE();
  return QString();
}

}  // namespace

AdvancedSettingsView::AdvancedSettingsView(AppSettings& settings, Signals& signals,
                                           NotificationSettings& notificationSettings,
                                           const BundleInfo& bundle, QWidget* parent)
    : QWidget(parent), settings_(settings), signals_(signals), notificationSettings_(notificationSettings) {
  setObjectName(QStringLiteral("advanced"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 20, 20, 20);
  layout->setSpacing(18);
  buildGeneral();
  buildAppearance();
  buildSounds();
  buildAbout(bundle);
  layout->addStretch(1);

  signals_.onNotification(QString::fromLatin1(names::signal::kNotificationAccessChanged), this,
                          [this] { showNotificationAccess(); });
}

QString AdvancedSettingsView::packageManagerText() {
  return tr("Your package manager keeps Parcelmoor up to date, together with the rest of your system.");
}

void AdvancedSettingsView::buildGeneral() {
  general_ = new FormSection();
  addToggle(general_, tr("Check for updates automatically"), "advanced.automaticUpdates",
            &AppSettings::automaticUpdates, &AppSettings::setAutomaticUpdates,
            &AppSettings::automaticUpdatesChanged);

  auto* label = new QWidget();
  auto* texts = new QVBoxLayout(label);
  texts->setContentsMargins(0, 0, 0, 0);
  texts->setSpacing(2);
  notificationTitle_ = new QLabel();
  notificationTitle_->setObjectName(QStringLiteral("advanced.notificationTitle"));
  notificationCaption_ = new QLabel(tr("Set an alert style for Parcelmoor to see when an upload finishes."));
  notificationCaption_->setObjectName(QStringLiteral("advanced.notificationCaption"));
  notificationCaption_->setWordWrap(true);
  QFont caption = notificationCaption_->font();
  caption.setPointSizeF(caption.pointSizeF() * 0.85);
  notificationCaption_->setFont(caption);
  setTextTone(notificationCaption_, TextTone::secondary);
  texts->addWidget(notificationTitle_);
  texts->addWidget(notificationCaption_);

  auto* buttons = new QWidget();
  auto* row = new QHBoxLayout(buttons);
  row->setContentsMargins(0, 0, 0, 0);
  requestNotifications_ = new QPushButton(tr("Request"));
  requestNotifications_->setObjectName(QStringLiteral("advanced.requestNotifications"));
  connect(requestNotifications_, &QPushButton::clicked, this, [this] {
    signals_.postDarwinNotification(QString::fromLatin1(names::signal::kRequestNotificationAccess));
  });
  openNotificationSettings_ = new QPushButton(tr("Open Notification Settings\u2026"));
  openNotificationSettings_->setObjectName(QStringLiteral("advanced.openNotificationSettings"));
  connect(openNotificationSettings_, &QPushButton::clicked, this, [this] { notificationSettings_.open(); });
  row->addWidget(requestNotifications_);
  row->addWidget(openNotificationSettings_);

  notificationRow_ = general_->addRow(label, buttons);
  notificationRow_->setObjectName(QStringLiteral("advanced.notificationRow"));
  showNotificationAccess();
  layout()->addWidget(general_);
}

void AdvancedSettingsView::buildAppearance() {
  auto* section = new FormSection(tr("Appearance"));
  panelLocation_ = new QComboBox();
  panelLocation_->setObjectName(QStringLiteral("advanced.panelLocation"));
  for (const PanelEdge edge : kAllPanelEdges) panelLocation_->addItem(edgeTitle(edge), rawValue(edge));
  // Only the user's choice writes; showing a stored value does not.
  connect(panelLocation_, &QComboBox::activated, this,
          [this](int index) { settings_.setPanelEdge(kAllPanelEdges.at(std::size_t(index))); });
  connect(&settings_, &AppSettings::panelEdgeChanged, this, &AdvancedSettingsView::showPanelEdge);
  showPanelEdge();
  section->addRow(tr("Panel location"), panelLocation_);
  layout()->addWidget(section);
}

void AdvancedSettingsView::buildSounds() {
  auto* section = new FormSection(tr("Sounds"));
  addToggle(section, tr("Upload completed"), "advanced.uploadCompleteSound",
            &AppSettings::uploadCompleteSound, &AppSettings::setUploadCompleteSound,
            &AppSettings::uploadCompleteSoundChanged);
  addToggle(section, tr("Upload warnings"), "advanced.uploadWarningSound", &AppSettings::uploadWarningSound,
            &AppSettings::setUploadWarningSound, &AppSettings::uploadWarningSoundChanged);
  addToggle(section, tr("Failed documents"), "advanced.uploadFailedSound", &AppSettings::uploadFailedSound,
            &AppSettings::setUploadFailedSound, &AppSettings::uploadFailedSoundChanged);
  layout()->addWidget(section);
}

void AdvancedSettingsView::buildAbout(const BundleInfo& bundle) {
  auto* section = new FormSection(tr("About"));
  auto* version = new QLabel(versionText(bundle));
  version->setObjectName(QStringLiteral("advanced.version"));
  version->setTextInteractionFlags(Qt::TextSelectableByMouse);
  setTextTone(version, TextTone::secondary);
  section->addRow(tr("Version"), version);

  // On this system the package manager brings new versions; the agent only notes a check. The sentence
  // says so beside the button, which stays where it is when pressed: nothing else appears.
  auto* updates = new FlowLabel(packageManagerText());
  updates->setObjectName(QStringLiteral("advanced.updatesNote"));
  updates->setTextInteractionFlags(Qt::TextSelectableByMouse);
  makeCaption(updates);
  auto* check = new QPushButton(tr("Check for Updates\u2026"));
  check->setObjectName(QStringLiteral("advanced.checkForUpdates"));
  check->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  // Asked whether or not automatic checks are on; the agent notes it.
  connect(check, &QPushButton::clicked, this,
          [this] { signals_.postDarwinNotification(QString::fromLatin1(names::signal::kCheckForUpdates)); });
  section->addRow(updates, check);
  layout()->addWidget(section);
}

QCheckBox* AdvancedSettingsView::addToggle(FormSection* section, const QString& label, const char* objectName,
                                           bool (AppSettings::*read)() const,
                                           void (AppSettings::*write)(bool), void (AppSettings::*changed)()) {
  auto* toggle = new QCheckBox();
  toggle->setObjectName(QString::fromLatin1(objectName));
  toggle->setAccessibleName(label);
  toggle->setChecked((settings_.*read)());
  connect(toggle, &QCheckBox::clicked, this, [this, write](bool on) { (settings_.*write)(on); });
  connect(&settings_, changed, toggle, [this, toggle, read] {
    const QSignalBlocker quiet(toggle);
    toggle->setChecked((settings_.*read)());
  });
  section->addRow(label, toggle);
  return toggle;
}

void AdvancedSettingsView::showNotificationAccess() {
  const NotificationAccess access = settings_.notificationAccess();
  const bool canOpen = notificationSettings_.isAvailable();
  // Without a desktop settings program a refusal cannot be undone from here, so its row would offer
  // nothing; the explanation of silenced notifications still helps.
  const bool shown = access == NotificationAccess::unknown || access == NotificationAccess::silent ||
                     (access == NotificationAccess::denied && canOpen);
  const bool silent = access == NotificationAccess::silent;
  notificationTitle_->setText(silent ? tr("Notifications are allowed but not shown")
                                     : tr("Request notification access"));
  notificationCaption_->setVisible(silent);
  requestNotifications_->setVisible(access == NotificationAccess::unknown);
  openNotificationSettings_->setVisible(canOpen && access != NotificationAccess::unknown);
  general_->setRowVisible(notificationRow_, shown);
}

void AdvancedSettingsView::showPanelEdge() {
  const QSignalBlocker quiet(panelLocation_);
  panelLocation_->setCurrentIndex(
      int(std::find(kAllPanelEdges.begin(), kAllPanelEdges.end(), settings_.panelEdge()) -
          kAllPanelEdges.begin()));
}

}  // namespace pm::settings
