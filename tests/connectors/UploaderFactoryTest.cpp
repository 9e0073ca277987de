#include <QDir>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <typeindex>

#include "connectors/DropboxUploader.h"
#include "connectors/FTPUploader.h"
#include "connectors/GoogleDriveUploader.h"
#include "connectors/ICloudUploader.h"
#include "connectors/OneDriveUploader.h"
#include "connectors/UploaderFactory.h"
#include "core/ParcelmoorAPI.h"
#include "platform/Keychain.h"
#include "platform/SharedDefaults.h"
#include "upload/CustomS3Uploader.h"
#include "upload/ParcelmoorUploader.h"

namespace pm {
namespace {

class UploaderFactoryTest : public ::testing::Test {
 protected:
  QNetworkAccessManager network;
  MemoryKeychain keychain;
  MemorySharedDefaults defaults;
  ParcelmoorAPI api{network, keychain, ParcelmoorAPI::Options{QUrl(QStringLiteral("http://127.0.0.1:9")), {}}};
  UploaderServices services{network, api, keychain, defaults, QDir::tempPath()};
};

TEST_F(UploaderFactoryTest, EveryKindGetsItsUploader) {
  using Kind = UploaderConfig::Kind;
  const struct {
    Kind kind;
    std::type_index type;
    const char* category;
  } table[] = {
      {Kind::parcelmoor, typeid(ParcelmoorUploader), nullptr},
      {Kind::customS3, typeid(CustomS3Uploader), nullptr},
      {Kind::r2, typeid(CustomS3Uploader), nullptr},
      {Kind::ftp, typeid(FTPUploader), "com.wrenfold.Parcelmoor.ftp"},
      {Kind::icloud, typeid(ICloudUploader), "com.wrenfold.Parcelmoor.icloud"},
      {Kind::googleDrive, typeid(GoogleDriveUploader), "com.wrenfold.Parcelmoor.drive"},
      {Kind::oneDrive, typeid(OneDriveUploader), "com.wrenfold.Parcelmoor.onedrive"},
      {Kind::dropbox, typeid(DropboxUploader), "com.wrenfold.Parcelmoor.dropbox"},
  };
  ASSERT_EQ(std::size(table), UploaderConfig::allKinds.size());
  for (const auto& row : table) {
    SCOPED_TRACE(rawValue(row.kind).toStdString());
    const auto uploader = makeUploader(UploaderConfig(row.kind), services);
    ASSERT_TRUE(uploader);
    EXPECT_EQ(std::type_index(typeid(*uploader)), row.type);
    if (row.category) {
      const auto* connector = dynamic_cast<const ConnectorUploader*>(uploader.get());
      ASSERT_TRUE(connector);
      EXPECT_STREQ(connector->log().categoryName(), row.category);
      EXPECT_EQ(connector->config().kind, row.kind);
    }
  }
}

TEST_F(UploaderFactoryTest, S3AndR2ShareTheFixedPartSizeAndThreshold) {
  for (const auto kind : {UploaderConfig::Kind::customS3, UploaderConfig::Kind::r2}) {
    UploaderConfig config(kind);
    config.endpoint = QStringLiteral("https://example.invalid");
    const auto uploader = makeUploader(config, services);
    const auto* s3 = dynamic_cast<const CustomS3Uploader*>(uploader.get());
    ASSERT_TRUE(s3);
    EXPECT_EQ(s3->partSize(), 67'108'864);
    EXPECT_EQ(s3->multipartThreshold(), 5'368'709'120);
  }
}

TEST_F(UploaderFactoryTest, EveryBucketGetsAFreshUploader) {
  UploaderConfig config(UploaderConfig::Kind::customS3);
  const auto first = makeUploader(config, services);
  const auto second = makeUploader(config, services);
  EXPECT_NE(first.get(), second.get());
  auto* a = dynamic_cast<CustomS3Uploader*>(first.get());
  auto* b = dynamic_cast<CustomS3Uploader*>(second.get());
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->uniqueKey(QStringLiteral("x.txt")), b->uniqueKey(QStringLiteral("x.txt")))
      << "a key taken in one bucket is free in the next";

  const auto own = makeUploader(UploaderConfig(UploaderConfig::Kind::parcelmoor), services);
  UploaderConfig odd(UploaderConfig::Kind::parcelmoor);
  odd.endpoint = QStringLiteral("https://ignored.invalid");
  odd.bucketName = QStringLiteral("ignored");
  EXPECT_EQ(std::type_index(typeid(*makeUploader(odd, services))), std::type_index(typeid(*own)));
}

}  // namespace
}  // namespace pm
