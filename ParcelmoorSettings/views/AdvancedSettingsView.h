#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace pm {
class BundleInfo;
class NotificationSettings;
class Signals;
}  // namespace pm

namespace pm::settings {

class AppSettings;
class FormSection;

// The preferences that belong to no connection: update checks, the agent's notification permission, the
// panel's edge, the three sounds, and the version. Controls write through `settings` at once; update
// checks and notification access are the agent's, so the page only asks for them by signal.
class AdvancedSettingsView final : public QWidget {
  Q_OBJECT

 public:
  AdvancedSettingsView(AppSettings& settings, Signals& signals, NotificationSettings& notificationSettings,
                       const BundleInfo& bundle, QWidget* parent = nullptr);

  // The line under the version: where new versions come from.
  static QString packageManagerText();

 private:
  void buildGeneral();
  void buildAppearance();
  void buildSounds();
  void buildAbout(const BundleInfo& bundle);
  QCheckBox* addToggle(FormSection* section, const QString& label, const char* objectName,
                       bool (AppSettings::*read)() const, void (AppSettings::*write)(bool),
                       void (AppSettings::*changed)());
  void showNotificationAccess();
  void showPanelEdge();

  AppSettings& settings_;
  Signals& signals_;
  NotificationSettings& notificationSettings_;

  FormSection* general_ = nullptr;
  QWidget* notificationRow_ = nullptr;
  QLabel* notificationTitle_ = nullptr;
  QLabel* notificationCaption_ = nullptr;
  QPushButton* requestNotifications_ = nullptr;
  QPushButton* openNotificationSettings_ = nullptr;
  QComboBox* panelLocation_ = nullptr;
};

}  // namespace pm::settings
