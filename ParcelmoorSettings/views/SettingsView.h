#pragma once

#include <QWidget>

#include "views/Page.h"

class QButtonGroup;
class QStackedWidget;

namespace pm {
class BundleInfo;
class Keychain;
class NotificationSettings;
class SharedDefaults;
class Signals;
}  // namespace pm

namespace pm::settings {

class AppSettings;
class ConnectionChecks;

// The settings window's content: a sidebar of the pages beside the selected page, titled after the page;
// 700 × 550 when it opens, free to grow (the pages scroll when the window is smaller than they are). It keeps `settings` fresh: on "settingsChanged", from the agent or from this program's own
// writes, it takes the stored connections (unless there are none or they are what it holds) and has the
// preferences read again.
class SettingsView final : public QWidget {
  Q_OBJECT

 public:
  static constexpr QSize kSize{700, 550};
  static constexpr int kSidebarWidth = 180;

  SettingsView(AppSettings& settings, SharedDefaults& defaults, Signals& signals,
               NotificationSettings& notificationSettings, const BundleInfo& bundle, Keychain& keychain,
               ConnectionChecks& checks, QWidget* parent = nullptr);

  Page selection() const { return selection_; }
  void select(Page page);

  // What "settingsChanged" runs.
  void reload();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  QWidget* buildSidebar();
  void styleSidebar();

  AppSettings& settings_;
  SharedDefaults& defaults_;
  Page selection_ = Page::account;
  QWidget* sidebar_ = nullptr;
  QButtonGroup* rows_ = nullptr;
  QStackedWidget* pages_ = nullptr;
};

}  // namespace pm::settings
