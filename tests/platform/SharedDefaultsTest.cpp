#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSize>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/SharedDefaults.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using test::TempRoot;

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct RoundTrip {
  const char* name;
  QVariant value;
  QMetaType::Type storedType;
};

class SuiteKinds : public ::testing::TestWithParam<bool> {
 protected:
  std::unique_ptr<SharedDefaults> make() {
    if (GetParam()) return std::make_unique<FileSharedDefaults>(root.paths().suiteFile(QStringLiteral("suite")));
    return std::make_unique<MemorySharedDefaults>();
  }
  TempRoot root;
};

TEST_P(SuiteKinds, ValuesKeepTheirType) {
  const QDateTime date(QDate(2024, 2, 29), QTime(23, 59, 58, 125), QTimeZone::utc());
  const QVariantMap datesByName{{QStringLiteral("a"), date}, {QStringLiteral("b"), date.addDays(1)}};
  const RoundTrip table[] = {
      {"bool true", true, QMetaType::Bool},
      {"bool false", false, QMetaType::Bool},
      {"string that looks like a bool", QStringLiteral("true"), QMetaType::QString},
      {"int widens", 42, QMetaType::LongLong},
      {"large integer", QVariant::fromValue(qint64(1) << 60), QMetaType::LongLong},
      {"double", 0.25, QMetaType::Double},
      {"data with zero bytes", QByteArray("\0\x01\xff", 3), QMetaType::QByteArray},
      {"empty data", QByteArray(""), QMetaType::QByteArray},
      {"date", date, QMetaType::QDateTime},
      {"string array", QStringList{QStringLiteral("x"), QStringLiteral("ü")}, QMetaType::QVariantList},
      {"dictionary of dates", datesByName, QMetaType::QVariantMap},
  };
  auto defaults = make();
  for (const auto& row : table) defaults->set(QString::fromLatin1(row.name), row.value);
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const QVariant back = defaults->object(QString::fromLatin1(row.name));
    EXPECT_EQ(back.typeId(), row.storedType);
    EXPECT_EQ(back, normalizedDefaultsValue(row.value));
  }
  EXPECT_EQ(defaults->boolValue(QStringLiteral("bool false")), false);
  EXPECT_EQ(defaults->boolValue(QStringLiteral("string that looks like a bool")), std::nullopt);
  EXPECT_EQ(defaults->stringValue(QStringLiteral("bool true")), std::nullopt);
  EXPECT_EQ(defaults->dateValue(QStringLiteral("date")), date);
  EXPECT_EQ(defaults->doubleValue(QStringLiteral("int widens")), 42.0);
  EXPECT_EQ(defaults->stringArrayValue(QStringLiteral("string array")),
            (QStringList{QStringLiteral("x"), QStringLiteral("ü")}));
  EXPECT_EQ(defaults->dataValue(QStringLiteral("missing")), std::nullopt);
}

TEST_P(SuiteKinds, RemoveAndUpdateTakeTheOldValue) {
  auto defaults = make();
  defaults->set(QStringLiteral("queue"), QStringList{QStringLiteral("one")});
  const QVariant taken = defaults->update(QStringLiteral("queue"), [](const QVariant&) { return QVariant(); });
  EXPECT_EQ(taken.toList().size(), 1);
  EXPECT_FALSE(defaults->contains(QStringLiteral("queue")));
  EXPECT_FALSE(defaults->set(QStringLiteral("unsupported"), QVariant::fromValue(QSize(1, 2))));
  EXPECT_FALSE(defaults->contains(QStringLiteral("unsupported")));
}

INSTANTIATE_TEST_SUITE_P(FileAndMemory, SuiteKinds, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });

TEST(FileSharedDefaults, SeesWritesOfAnotherHandleAtOnce) {
  TempRoot root;
  const QString path = root.paths().suiteFile(QStringLiteral("suite"));
  FileSharedDefaults reader(path);
  FileSharedDefaults writer(path);
  EXPECT_FALSE(reader.contains(QStringLiteral("k")));
  writer.set(QStringLiteral("k"), 1);
  EXPECT_EQ(reader.integerValue(QStringLiteral("k")), 1);
  writer.set(QStringLiteral("k"), 2);
  EXPECT_EQ(reader.integerValue(QStringLiteral("k")), 2);
}

TEST(FileSharedDefaults, FileAndFolderArePrivate) {
  TempRoot root;
  const QString path = root.paths().suiteFile(QStringLiteral("suite"));
  FileSharedDefaults(path).set(QStringLiteral("k"), true);
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(FileSharedDefaults, UnreadableFileReadsEmptyAndIsMovedAsideBeforeTheFirstWrite) {
  struct Case {
    const char* name;
    const char* inside;  // "" writes the suite file itself, "/kept" a file in a folder in its place
    QByteArray content;
  };
  // A file that is no JSON object, and a suite that cannot be opened at all (a folder in the file's place).
  const Case cases[] = {
      {"not json", "", "{not json"},
      {"cannot be opened", "/kept", "kept"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    TempRoot root;
    const QString path = root.paths().suiteFile(QStringLiteral("suite"));
    const QString folder = QFileInfo(path).absolutePath();
    const QString relative = QString::fromLatin1(row.inside);
    root.write(QStringLiteral("config/suite.json") + relative, row.content);
    FileSharedDefaults defaults(path);
    EXPECT_FALSE(defaults.contains(QStringLiteral("anything")));
    EXPECT_EQ(readAll(path + relative), row.content) << "reading must not repair or remove the file";

    ASSERT_TRUE(defaults.set(QStringLiteral("k"), true));
    EXPECT_EQ(defaults.boolValue(QStringLiteral("k")), true);
    const QStringList aside = QDir(folder).entryList({QStringLiteral("suite.json.unreadable-*")},
                                                     QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(folder + QLatin1Char('/') + aside.first() + relative), row.content);
  }
}

TEST(FileSharedDefaults, ValueOfAnUnknownShapeReadsAsAbsentAndOthersSurvive) {
  TempRoot root;
  const QString path = root.write(QStringLiteral("config/suite.json"),
                                  R"({"good":{"bool":true},"bad":{"bool":"yes"},"odd":[1,2],"two":{"bool":true,"string":"x"}})");
  FileSharedDefaults defaults(path);
  EXPECT_EQ(defaults.boolValue(QStringLiteral("good")), true);
  EXPECT_FALSE(defaults.contains(QStringLiteral("bad")));
  EXPECT_FALSE(defaults.contains(QStringLiteral("odd")));
  EXPECT_FALSE(defaults.contains(QStringLiteral("two")));
  defaults.set(QStringLiteral("new"), 1);
  EXPECT_EQ(defaults.boolValue(QStringLiteral("good")), true) << "a write keeps the keys it did not touch";
}

TEST(FileSharedDefaults, TwoProcessesWritingDifferentKeysLoseNothing) {
  TempRoot root;
  const QString path = root.paths().suiteFile(QStringLiteral("shared"));
  QProcess first;
  QProcess second;
  first.start(QStringLiteral(PM_SUITE_WRITER), {QStringLiteral("keys"), path, QStringLiteral("a"), QStringLiteral("500")});
  second.start(QStringLiteral(PM_SUITE_WRITER), {QStringLiteral("keys"), path, QStringLiteral("b"), QStringLiteral("500")});
  ASSERT_TRUE(first.waitForFinished(60'000));
  ASSERT_TRUE(second.waitForFinished(60'000));
  ASSERT_EQ(first.exitCode(), 0) << first.readAllStandardError().constData();
  ASSERT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();

  FileSharedDefaults defaults(path);
  int found = 0;
  for (const char* prefix : {"a", "b"}) {
    for (int n = 0; n < 500; ++n) {
      if (defaults.integerValue(QString::fromLatin1(prefix) + QString::number(n)) == n) ++found;
    }
  }
  EXPECT_EQ(found, 1000);
}

TEST(SharedSuiteAccessor, TestSuiteVariableIsReadOnceAndTakesEveryWrite) {
  TempRoot root;
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("PARCELMOOR_TEST_SUITE"), QStringLiteral("test-suite"));
  child.setProcessEnvironment(env);
  child.start(QStringLiteral(PM_SUITE_WRITER), {QStringLiteral("accessor"), root.path(), QStringLiteral("flag")});
  ASSERT_TRUE(child.waitForFinished(30'000));
  ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardError().constData();

  FileSharedDefaults testSuite(root.paths().suiteFile(QStringLiteral("test-suite")));
  EXPECT_EQ(testSuite.boolValue(QStringLiteral("flag")), true);
  EXPECT_EQ(testSuite.boolValue(QStringLiteral("flagAgain")), true) << "a changed variable is not read again";
  EXPECT_FALSE(QFile::exists(root.paths().suiteFile(QStringLiteral("K7XQ2PL9ZD.com.wrenfold.Parcelmoor"))));
  EXPECT_FALSE(QFile::exists(root.paths().suiteFile(QStringLiteral("changed-suite"))));
}

TEST(SharedSuiteAccessor, EmptyVariableCountsAsPresentAndFallsBackToTheStandardSuite) {
  TempRoot root;
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("PARCELMOOR_TEST_SUITE"), QString());
  child.setProcessEnvironment(env);
  child.start(QStringLiteral(PM_SUITE_WRITER), {QStringLiteral("accessor"), root.path(), QStringLiteral("flag")});
  ASSERT_TRUE(child.waitForFinished(30'000));
  ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardError().constData();
  EXPECT_TRUE(QFile::exists(root.paths().suiteFile(QStringLiteral("standard"))));
  EXPECT_FALSE(QFile::exists(root.paths().suiteFile(QStringLiteral("K7XQ2PL9ZD.com.wrenfold.Parcelmoor"))));
}

}  // namespace
}  // namespace pm
