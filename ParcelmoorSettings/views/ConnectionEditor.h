#pragma once

#include <QCoroTask>

#include <QDialog>
#include <QPointer>

#include <optional>

#include "connectors/FTPCredentials.h"
#include "connectors/OAuthProvider.h"
#include "core/S3Credentials.h"
#include "core/UploaderConfig.h"
#include "model/ProbeResult.h"
#include "views/ConnectionServices.h"
#include "views/SymbolPicker.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace pm::settings {

class AccountConnectionSection;
class S3ConnectionSection;
class SpinnerFace;

// The sheet that creates or changes one connection. It edits a copy and hands it back through saved();
// besides the connection it keeps the FTP login and the S3/R2 key pair in the keychain, tests the edited
// connection, and asks the agent to sign a drive account in for it.
class ConnectionEditor final : public QDialog {
  Q_OBJECT

 public:
  static constexpr QSize kSize{460, 480};

  ConnectionEditor(UploaderConfig config, bool isNew, ConnectionServices services, QWidget* parent = nullptr);

  // The kinds the type picker offers, in two groups; never the own service.
  static const QList<QList<UploaderConfig::Kind>>& kindGroups();

  const UploaderConfig& config() const { return config_; }
  const S3Credentials& credentials() const { return credentials_; }
  const FTPCredentials& ftpLogin() const { return ftp_; }
  bool isConnecting() const { return connecting_; }
  bool isTesting() const { return testing_; }
  const std::optional<ProbeResult>& testResult() const { return test_; }

  // Clears the endpoint and the region; the rest stays.
  void setKind(UploaderConfig::Kind kind);
  void runTest();
  void connectAccount();
  void save();
  void pickSymbol();
  SymbolPicker* symbolPicker() const { return picker_; }

  // The test button's text for the current state.
  QString testLabel() const;
  // Why the last test or connect failed, shown whole above the buttons; empty when nothing failed.
  QString failureMessage() const;
  // What the footer says after a passed test or an arrived account.
  static QString successText(UploaderConfig::Kind kind);

 Q_SIGNALS:
  void saved(const UploaderConfig& config);
  void cancelled();

 private:
  QWidget* buildGeneral();
  void buildKindSection();
  QWidget* buildSyncedFolderSection();
  QWidget* buildFTPSection();
  void saveCredentials();
  void loadCredentials();
  void showState();
  void showIcon();
  static QCoro::Task<> awaitTest(QPointer<ConnectionEditor> editor, ConnectionChecks& checks,
                                 UploaderConfig config);
  static QCoro::Task<> waitForAccount(QPointer<ConnectionEditor> editor, Keychain& keychain, QUuid id,
                                      OAuthProvider provider, std::optional<QString> knownRefreshToken,
                                      DriveConnectTiming timing);

  UploaderConfig config_;
  const bool isNew_;
  const ConnectionServices services_;
  S3Credentials credentials_;
  FTPCredentials ftp_;
  bool connecting_ = false;
  std::optional<ProbeResult> test_;
  bool testing_ = false;

  QComboBox* type_ = nullptr;
  QLineEdit* name_ = nullptr;
  QToolButton* icon_ = nullptr;
  QWidget* kindSection_ = nullptr;
  QVBoxLayout* form_ = nullptr;
  AccountConnectionSection* accountSection_ = nullptr;
  S3ConnectionSection* s3Section_ = nullptr;
  QLineEdit* ftpUser_ = nullptr;
  QLineEdit* ftpPassword_ = nullptr;
  QLineEdit* port_ = nullptr;
  QPushButton* testButton_ = nullptr;
  SpinnerFace* testingFace_ = nullptr;
  QWidget* failure_ = nullptr;
  QLabel* failureText_ = nullptr;
  QPointer<SymbolPicker> picker_;
};

}  // namespace pm::settings
