#include <QDir>

#include <gtest/gtest.h>

#include "core/Bucket.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// Counts one signal of one object.
class Emissions : public QObject {
 public:
  template <typename Object, typename Signal>
  Emissions(const Object* sender, Signal signal) {
    connect(sender, signal, this, [this] { ++count; });
  }
  int count = 0;
};

QStringList urlsOf(const QList<Bucket::ItemPointer>& items) {
  QStringList urls;
  for (const auto& item : items) urls.append(item->url());
  return urls;
}

class BucketTest : public ::testing::Test {
 protected:
  QString file(const QString& relative) { return root.write(relative, "data"); }
  QString folder(const QString& relative) {
    const QString path = root.file(relative);
    QDir().mkpath(path);
    return path;
  }

  test::TempRoot root;
  test::ManualClock clock;
  Bucket bucket{clock};
};

TEST(SensitiveFile, ByNameAndExtension) {
  const struct {
    const char* path;
    bool sensitive;
  } table[] = {
      {"/home/me/.ssh/ID_RSA", true},        {"/home/me/project/.gitignore", true},
      {"/srv/tls/server.PEM", true},         {"/srv/app/prod.env", true},
      {"/srv/app/Secrets.YAML", true},       {"/srv/app/.env.production", true},
      {"/srv/app/store.keystore", true},     {"/srv/app/credentials", true},
      {"/srv/app/secrets.txt", false},       {"/home/me/.ssh/id_rsa.pub", false},
      {"/srv/app/report.pdf", false},        {"/srv/app/Makefile", false},
      {"/home/me/.hidden/notes.txt", false},  // only the last component counts
  };
  for (const auto& row : table) {
    EXPECT_EQ(isSensitiveFile(QString::fromUtf8(row.path)), row.sensitive) << row.path;
  }
}

TEST_F(BucketTest, NewBucketIsOpenEmptyAndStampedByTheClock) {
  EXPECT_FALSE(bucket.id().isNull());
  EXPECT_NE(Bucket(clock).id(), bucket.id());
  EXPECT_EQ(bucket.createdAt(), clock.now());
  EXPECT_TRUE(bucket.items().isEmpty());
  EXPECT_EQ(bucket.state(), Bucket::State::open());
}

TEST_F(BucketTest, ItemsTakeTheirFieldsFromThePath) {
  const QString photos = folder(QStringLiteral("Photos"));
  const QString missing = root.file(QStringLiteral("gone/Report.PDF"));
  const QString key = file(QStringLiteral("keys/ID_RSA"));
  clock.advance(5s);

  const auto items = bucket.add({photos, photos + QLatin1Char('/'), missing, key});

  ASSERT_EQ(items.size(), 4);  // with and without the trailing slash are two different paths
  const struct {
    const char* name;
    bool isDirectory;
    bool isSensitive;
  } expected[] = {{"Photos", true, false},
                  {"Photos", true, false},
                  {"Report.PDF", false, false},
                  {"ID_RSA", false, true}};
  for (qsizetype i = 0; i < items.size(); ++i) {
    const BucketItem& item = *items.at(i);
    EXPECT_EQ(item.name(), QString::fromUtf8(expected[i].name)) << i;
    EXPECT_EQ(item.isDirectory(), expected[i].isDirectory) << i;
    EXPECT_EQ(item.isSensitive(), expected[i].isSensitive) << i;
    EXPECT_EQ(item.addedAt(), clock.now());
    EXPECT_EQ(item.state(), BucketItem::State::registering());
    EXPECT_TRUE(item.errors().isEmpty());
    EXPECT_FALSE(item.consented());
  }
  EXPECT_NE(items.at(0)->id(), items.at(1)->id());
}

TEST_F(BucketTest, FoldersAreNeverSensitive) {
  const auto items = bucket.add({folder(QStringLiteral("credentials")), folder(QStringLiteral(".ssh")),
                                 folder(QStringLiteral("certs.pem"))});
  ASSERT_EQ(items.size(), 3);
  for (const auto& item : items) EXPECT_FALSE(item->isSensitive()) << item->name().toStdString();
}

// What was read off the main thread is what the items take: adding reads nothing more from the disk. A
// sensitive name counts only for what is taken as a file.
TEST_F(BucketTest, FoldersReadBeforehandAreTakenAsTheyWereRead) {
  const QString realFolder = folder(QStringLiteral("photos"));
  const QString realFile = file(QStringLiteral("id_rsa"));
  const QString missing = root.file(QStringLiteral("gone"));
  EXPECT_EQ(whichAreFolders({realFolder, realFile, missing}), (QList<bool>{true, false, false}));

  // The file and the folder have swapped since they were read; the reading stands.
  const auto items = bucket.add({realFolder, realFile, missing}, {false, true, false});
  ASSERT_EQ(items.size(), 3);
  EXPECT_FALSE(items.at(0)->isDirectory());
  EXPECT_TRUE(items.at(1)->isDirectory());
  EXPECT_FALSE(items.at(1)->isSensitive());
  EXPECT_FALSE(items.at(2)->isDirectory());
  EXPECT_TRUE(bucket.add({realFile, file(QStringLiteral(".env"))}, {false, false}).last()->isSensitive());
}

TEST_F(BucketTest, DuplicatesAreTakenOnce) {
  const QString a = file(QStringLiteral("a.txt"));
  const QString b = file(QStringLiteral("b.txt"));
  const QString c = file(QStringLiteral("c.txt"));
  Emissions itemsChanged(&bucket, &Bucket::itemsChanged);

  EXPECT_EQ(urlsOf(bucket.add({a, b, a})), (QStringList{a, b}));
  EXPECT_EQ(itemsChanged.count, 1);

  EXPECT_EQ(urlsOf(bucket.add({b, c})), QStringList{c});
  EXPECT_EQ(itemsChanged.count, 2);

  // Nothing new still notifies once: the call changed the list in place.
  EXPECT_TRUE(bucket.add({a, c}).isEmpty());
  EXPECT_EQ(itemsChanged.count, 3);

  EXPECT_EQ(urlsOf(bucket.items()), (QStringList{a, b, c}));
}

TEST_F(BucketTest, RemoveTakesOutTheItem) {
  const auto items = bucket.add({file(QStringLiteral("a.txt")), file(QStringLiteral("b.txt"))});
  Emissions itemsChanged(&bucket, &Bucket::itemsChanged);

  EXPECT_EQ(bucket.removeItem(items.at(0)->id()), items.at(0));
  EXPECT_EQ(itemsChanged.count, 1);
  EXPECT_EQ(bucket.items(), QList<Bucket::ItemPointer>{items.at(1)});
  EXPECT_EQ(bucket.item(items.at(0)->id()), nullptr);

  EXPECT_EQ(bucket.removeItem(items.at(0)->id()), nullptr);
  EXPECT_EQ(bucket.removeItem(QUuid::createUuid()), nullptr);
  EXPECT_EQ(itemsChanged.count, 1);
}

TEST_F(BucketTest, CompletedBucketRefusesAddAndRemove) {
  const auto items = bucket.add({file(QStringLiteral("a.txt"))});
  bucket.setState(Bucket::State::completed(QUrl(QStringLiteral("https://share.example/abc"))));
  Emissions itemsChanged(&bucket, &Bucket::itemsChanged);

  EXPECT_TRUE(bucket.add({file(QStringLiteral("b.txt"))}).isEmpty());
  EXPECT_EQ(bucket.removeItem(items.at(0)->id()), nullptr);
  EXPECT_EQ(itemsChanged.count, 0);
  EXPECT_EQ(bucket.items(), items);

  // Uploads may still settle after completion.
  bucket.setState(items.at(0)->id(), BucketItem::State::uploaded());
  bucket.recordError(items.at(0)->id(), QStringLiteral("a.txt"), UploadError::http(500));
  EXPECT_EQ(items.at(0)->state(), BucketItem::State::uploaded());
  EXPECT_EQ(items.at(0)->errors().size(), 1);
}

TEST_F(BucketTest, EqualItemStateNotifiesNobody) {
  const struct {
    BucketItem::State from;
    BucketItem::State to;
    bool notifies;
  } table[] = {
      {BucketItem::State::registering(), BucketItem::State::registering(), false},
      {BucketItem::State::uploading(0.4), BucketItem::State::uploading(0.4), false},
      {BucketItem::State::uploading(0.4), BucketItem::State::uploading(0.5), true},
      {BucketItem::State::uploading(0.0), BucketItem::State::registering(), true},
      {BucketItem::State::uploaded(), BucketItem::State::uploaded(), false},
      {BucketItem::State::uploaded(), BucketItem::State::failed(), true},
  };
  const auto item = bucket.add({file(QStringLiteral("a.txt"))}).at(0);
  for (const auto& row : table) {
    bucket.setState(item->id(), row.from);
    const auto notifier = item->notifier();
    Emissions stateChanged(notifier.get(), &BucketItemNotifier::stateChanged);
    bucket.setState(item->id(), row.to);
    EXPECT_EQ(stateChanged.count, row.notifies ? 1 : 0);
    EXPECT_EQ(item->state(), row.to);
  }
}

TEST_F(BucketTest, EqualBucketStateNotifiesNobody) {
  const QUrl link(QStringLiteral("https://share.example/abc"));
  const QUrl other(QStringLiteral("https://share.example/xyz"));
  const struct {
    Bucket::State from;
    Bucket::State to;
    bool notifies;
  } table[] = {
      {Bucket::State::open(), Bucket::State::open(), false},
      {Bucket::State::completed(std::nullopt), Bucket::State::completed(std::nullopt), false},
      {Bucket::State::completed(link), Bucket::State::completed(link), false},
      {Bucket::State::completed(link), Bucket::State::completed(other), true},
      {Bucket::State::completed(std::nullopt), Bucket::State::completed(link), true},
      {Bucket::State::open(), Bucket::State::completed(std::nullopt), true},
  };
  for (const auto& row : table) {
    Bucket subject(clock);
    subject.setState(row.from);
    Emissions stateChanged(&subject, &Bucket::stateChanged);
    subject.setState(row.to);
    EXPECT_EQ(stateChanged.count, row.notifies ? 1 : 0);
    EXPECT_EQ(subject.state(), row.to);
  }
}

TEST_F(BucketTest, EqualConsentAndErrorsNotifyNobody) {
  const auto item = bucket.add({file(QStringLiteral(".env"))}).at(0);
  const auto notifier = item->notifier();
  Emissions consentedChanged(notifier.get(), &BucketItemNotifier::consentedChanged);
  Emissions errorsChanged(notifier.get(), &BucketItemNotifier::errorsChanged);

  item->setConsented(true);
  item->setConsented(true);
  item->setErrors({});
  EXPECT_EQ(consentedChanged.count, 1);
  EXPECT_EQ(errorsChanged.count, 0);
}

TEST_F(BucketTest, AnItemsNotifierIsSharedWhileHeldAndMadeAfreshOnceLetGo) {
  const auto item = bucket.add({file(QStringLiteral("a.txt"))}).at(0);
  auto held = item->notifier();
  EXPECT_EQ(item->notifier(), held);

  // A receiver (a tile being closed) may drop the last hold while the change is being told.
  QObject::connect(held.get(), &BucketItemNotifier::stateChanged, [&held] { held.reset(); });
  Emissions bucketHeard(&bucket, &Bucket::itemChanged);
  bucket.setState(item->id(), BucketItem::State::uploaded());
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(bucketHeard.count, 1);

  const auto again = item->notifier();
  Emissions stateChanged(again.get(), &BucketItemNotifier::stateChanged);
  Emissions errorsChanged(again.get(), &BucketItemNotifier::errorsChanged);
  bucket.setState(item->id(), BucketItem::State::failed());
  bucket.recordError(item->id(), item->name(), UploadError::http(500));
  EXPECT_EQ(stateChanged.count, 1);
  EXPECT_EQ(errorsChanged.count, 1);
}

TEST_F(BucketTest, ErrorsCollectPerPathInOrder) {
  const auto item = bucket.add({folder(QStringLiteral("Photos"))}).at(0);
  const auto notifier = item->notifier();
  Emissions errorsChanged(notifier.get(), &BucketItemNotifier::errorsChanged);

  bucket.recordError(item->id(), QStringLiteral("Photos/a.jpg"), UploadError::http(500));
  bucket.recordError(item->id(), QStringLiteral("Photos/a.jpg"), UploadError::notRegistered());
  bucket.recordError(item->id(), QStringLiteral("Photos/b.jpg"), UploadError::cancelled());
  bucket.recordError(QUuid::createUuid(), QStringLiteral("Photos/a.jpg"), UploadError::emptyFolder());
  bucket.setState(QUuid::createUuid(), BucketItem::State::failed());

  const BucketItem::Errors expected{
      {QStringLiteral("Photos/a.jpg"), {UploadError::http(500), UploadError::notRegistered()}},
      {QStringLiteral("Photos/b.jpg"), {UploadError::cancelled()}},
  };
  EXPECT_EQ(item->errors(), expected);
  EXPECT_EQ(errorsChanged.count, 3);
  EXPECT_EQ(item->state(), BucketItem::State::registering());
}

}  // namespace
}  // namespace pm
