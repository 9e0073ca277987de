#pragma once

// The register of everything the two programs (and the senders of inbox batches) agree on by name:
// the suite, the signals and the suite's keys. Names are full literals so a grep finds every use.
namespace pm::names {

inline constexpr char kBundleIdentifier[] = "com.wrenfold.Parcelmoor";
inline constexpr char kSuiteName[] = "K7XQ2PL9ZD.com.wrenfold.Parcelmoor";
inline constexpr char kTestSuiteVariable[] = "PARCELMOOR_TEST_SUITE";

namespace signal {
inline constexpr char kSignIn[] = "com.wrenfold.Parcelmoor.signIn";
inline constexpr char kCancelSignIn[] = "com.wrenfold.Parcelmoor.cancelSignIn";
inline constexpr char kSignOut[] = "com.wrenfold.Parcelmoor.signOut";
inline constexpr char kRefreshAccount[] = "com.wrenfold.Parcelmoor.refreshAccount";
inline constexpr char kOpenBilling[] = "com.wrenfold.Parcelmoor.openBilling";
inline constexpr char kSyncEnable[] = "com.wrenfold.Parcelmoor.syncEnable";
inline constexpr char kSyncDisable[] = "com.wrenfold.Parcelmoor.syncDisable";
inline constexpr char kSyncSubmitCode[] = "com.wrenfold.Parcelmoor.syncSubmitCode";
inline constexpr char kSyncOffer[] = "com.wrenfold.Parcelmoor.syncOffer";
inline constexpr char kSyncCancelPairing[] = "com.wrenfold.Parcelmoor.syncCancelPairing";
inline constexpr char kCheckForUpdates[] = "com.wrenfold.Parcelmoor.checkForUpdates";
inline constexpr char kRequestNotificationAccess[] = "com.wrenfold.Parcelmoor.requestNotificationAccess";
inline constexpr char kCheckICloud[] = "com.wrenfold.Parcelmoor.checkICloud";
inline constexpr char kConnectDrive[] = "com.wrenfold.Parcelmoor.connectDrive";
inline constexpr char kPostNotification[] = "com.wrenfold.Parcelmoor.postNotification";
inline constexpr char kSettingsChanged[] = "com.wrenfold.Parcelmoor.settingsChanged";
inline constexpr char kAccountChanged[] = "com.wrenfold.Parcelmoor.accountChanged";
inline constexpr char kSyncChanged[] = "com.wrenfold.Parcelmoor.syncChanged";
inline constexpr char kNotificationAccessChanged[] = "com.wrenfold.Parcelmoor.notificationAccessChanged";
}  // namespace signal

namespace key {
inline constexpr char kUploaderConfigs[] = "uploaderConfigs";
inline constexpr char kDeletedUploaders[] = "deletedUploaders";
inline constexpr char kPreferenceChanges[] = "preferenceChanges";
inline constexpr char kPanelEdge[] = "panelEdge";
inline constexpr char kAutomaticUpdates[] = "automaticUpdates";
inline constexpr char kUploadCompleteSound[] = "uploadCompleteSound";
inline constexpr char kUploadWarningSound[] = "uploadWarningSound";
inline constexpr char kUploadFailedSound[] = "uploadFailedSound";
inline constexpr char kAccountState[] = "accountState";
inline constexpr char kNotificationAccess[] = "notificationAccess";
inline constexpr char kPendingNotifications[] = "pendingNotifications";
inline constexpr char kOpenBucket[] = "openBucket";
inline constexpr char kRegisteredConnectors[] = "registeredConnectors";
inline constexpr char kSyncState[] = "syncState";
inline constexpr char kPendingSyncCode[] = "pendingSyncCode";
inline constexpr char kICloudState[] = "icloudState";
inline constexpr char kICloudCheckedAt[] = "icloudCheckedAt";
inline constexpr char kPendingDriveConnect[] = "pendingDriveConnect";
}  // namespace key

namespace keychain {
inline constexpr char kSessionService[] = "com.wrenfold.Parcelmoor";
inline constexpr char kSessionTokenAccount[] = "session-token";
inline constexpr char kS3Service[] = "com.wrenfold.Parcelmoor.s3";
inline constexpr char kFtpService[] = "com.wrenfold.Parcelmoor.ftp";
inline constexpr char kSyncService[] = "com.wrenfold.Parcelmoor.sync";
inline constexpr char kSyncKeyAccount[] = "sync-key";
}  // namespace keychain

}  // namespace pm::names
