#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSize>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Clock.h"
#include "platform/SharedDefaults.h"
#include "support/ChildProcess.h"
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

TEST_P(SuiteKinds, EveryDateTheModelUsesRoundTrips) {
  struct Row {
    const char* name;
    QDateTime date;
  };
  const Row table[] = {
      {"distant past (1 January of year 1)", dateFromReferenceSeconds(-63'114'076'800.0)},
      {"distant future (1 January 4001)", dateFromReferenceSeconds(63'113'904'000.0)},
      {"before year 0", QDateTime(QDate(-4713, 11, 24), QTime(12, 0), QTimeZone::utc())},
      {"after year 9999", QDateTime(QDate(12345, 6, 7), QTime(8, 9, 10, 11), QTimeZone::utc())},
      {"reference date", dateFromReferenceSeconds(0)},
      {"milliseconds before 1970", QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 999), QTimeZone::utc())},
      {"now-ish with milliseconds", QDateTime(QDate(2026, 12, 10), QTime(14, 46, 8, 321), QTimeZone::utc())},
  };
  auto defaults = make();
  QVariantMap all;
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(row.date.isValid());
    ASSERT_TRUE(defaults->set(QString::fromLatin1(row.name), row.date));
    EXPECT_EQ(defaults->dateValue(QString::fromLatin1(row.name)), row.date);
    all.insert(QString::fromLatin1(row.name), row.date);
  }
  // One far date must not cost a dictionary (change stamps, tombstones) its other entries.
  ASSERT_TRUE(defaults->set(QStringLiteral("stamps"), all));
  EXPECT_EQ(defaults->object(QStringLiteral("stamps")).toMap(), all);
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

TEST(FileSharedDefaults, ReadsDatesWrittenAsTextByEarlierVersions) {
  TempRoot root;
  const QString path = root.write(
      QStringLiteral("config/suite.json"),
      R"({"when":{"date":"2024-02-29T23:59:58.125Z"},)"
      R"("stamps":{"dictionary":{"panelEdge":{"date":"2025-01-02T03:04:05.000Z"},"x":{"date":-3600.5}}}})");
  FileSharedDefaults defaults(path);
  EXPECT_EQ(defaults.dateValue(QStringLiteral("when")),
            QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58, 125), QTimeZone::utc()));
  const QVariantMap stamps = defaults.object(QStringLiteral("stamps")).toMap();
  EXPECT_EQ(stamps.value(QStringLiteral("panelEdge")).toDateTime(),
            QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5), QTimeZone::utc()));
  EXPECT_EQ(stamps.value(QStringLiteral("x")).toDateTime(),
            QDateTime(QDate(2000, 12, 31), QTime(22, 59, 59, 500), QTimeZone::utc()));
}

TEST(FileSharedDefaults, IntegersOutsideSixtyFourBitsReadAsAbsent) {
  struct Row {
    const char* stored;
    std::optional<qint64> expected;
  };
  const Row table[] = {
      {"1e300", std::nullopt},
      {"-1e300", std::nullopt},
      {"9223372036854775808", std::nullopt},   // 2^63
      {"1.8446744073709552e19", std::nullopt},  // 2^64
      {"-9223372036854775808", std::numeric_limits<qint64>::min()},
      {"9223372036854775807", std::numeric_limits<qint64>::max()},
      {"4.0", 4},
      {"4.5", std::nullopt},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.stored);
    TempRoot root;
    const QString path = root.write(QStringLiteral("config/suite.json"),
                                    QByteArray(R"({"n":{"integer":)") + row.stored + "}}");
    EXPECT_EQ(FileSharedDefaults(path).integerValue(QStringLiteral("n")), row.expected);
  }
}

TEST(FileSharedDefaults, AWriteThatDoesNotFitLeavesTheOldFileByteForByte) {
  struct Row {
    const char* name;
    off_t room;            // bytes a file may grow to, as free space on the disk would allow
    int storedKeys;        // size of the suite before the write (about 40 bytes a key)
    bool fits;
  };
  const Row table[] = {
      {"no room at all", 0, 20, false},
      {"4 KiB of room", 4'096, 200, false},
      {"64 KiB of room", 65'536, 2'000, false},
      {"room enough", 1 << 20, 2'000, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    TempRoot root;
    const QString path = root.paths().suiteFile(QStringLiteral("suite"));
    {
      QVariantMap many;
      for (int n = 0; n < row.storedKeys; ++n) many.insert(QStringLiteral("connection-%1").arg(n), n);
      ASSERT_TRUE(FileSharedDefaults(path).set(QStringLiteral("many"), many));
    }
    const QByteArray before = readAll(path);

    const int stored = test::exitCodeInChild([&] {
      test::limitFileSize(row.room);
      return FileSharedDefaults(path).set(QStringLiteral("new"), QByteArray(300, 'x')) ? 1 : 0;
    });

    EXPECT_EQ(stored, row.fits ? 1 : 0);
    FileSharedDefaults defaults(path);
    EXPECT_EQ(defaults.contains(QStringLiteral("new")), row.fits);
    EXPECT_EQ(defaults.object(QStringLiteral("many")).toMap().size(), row.storedKeys);
    if (!row.fits) {
      EXPECT_EQ(readAll(path), before);
    }
    QStringList left = QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    left.removeAll(QStringLiteral("suite.json.lock"));
    EXPECT_EQ(left, QStringList{QStringLiteral("suite.json")}) << "no half-written file is left behind";
  }
}

TEST(FileSharedDefaults, AFileThatCannotBeReadJustNowIsAFailureNotAnEmptySuite) {
  TempRoot root;
  const QString path = root.paths().suiteFile(QStringLiteral("suite"));
  ASSERT_TRUE(FileSharedDefaults(path).set(QStringLiteral("kept"), QStringLiteral("value")));
  const QByteArray before = readAll(path);

  // Bit 1: the read reported a failure; bit 2: the write was refused.
  const int outcome = test::exitCodeInChild([&] {
    FileSharedDefaults defaults(path);
    if (!test::exhaustFileDescriptors()) return 100;
    int bits = 0;
    if (!defaults.read(QStringLiteral("kept")).has_value()) bits |= 1;
    if (!defaults.set(QStringLiteral("kept"), QStringLiteral("default"))) bits |= 2;
    return bits;
  });

  EXPECT_EQ(outcome, 3);
  EXPECT_EQ(readAll(path), before);
  FileSharedDefaults defaults(path);
  EXPECT_EQ(defaults.read(QStringLiteral("kept")), QVariant(QStringLiteral("value")));
  EXPECT_EQ(defaults.read(QStringLiteral("absent")), QVariant()) << "absent is a successful read";
}

TEST(MemorySharedDefaults, FailingReadsRefuseWritesAsTheFileDoes) {
  MemorySharedDefaults defaults;
  defaults.set(QStringLiteral("kept"), 1);
  defaults.setReadsFail(true);
  EXPECT_EQ(defaults.read(QStringLiteral("kept")), std::nullopt);
  bool ok = true;
  bool changeCalled = false;
  defaults.update(QStringLiteral("kept"), [&](const QVariant&) { changeCalled = true; return QVariant(2); }, &ok);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(changeCalled);
  defaults.setReadsFail(false);
  EXPECT_EQ(defaults.integerValue(QStringLiteral("kept")), 1);
}

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

TEST(FileSharedDefaults, SixteenProcessesWritingAtOnceAllLand) {
  constexpr int kWriters = 16;
  constexpr int kWritesEach = 200;
  // What is measured is waiting for the lock, not the disk: every write is synced, so a memory-backed
  // folder keeps 3,200 of them within seconds.
  const QString memoryBacked = QStringLiteral("/dev/shm");
  QTemporaryDir root(QFileInfo(memoryBacked).isWritable() ? memoryBacked + QLatin1String("/pm-suite-XXXXXX")
                                                          : QDir::tempPath() + QLatin1String("/pm-suite-XXXXXX"));
  ASSERT_TRUE(root.isValid());
  const QString path = root.filePath(QStringLiteral("shared.json"));
  std::vector<std::unique_ptr<QProcess>> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back(std::make_unique<QProcess>());
    writers.back()->start(QStringLiteral(PM_SUITE_WRITER), {QStringLiteral("keys"), path,
                                                            QStringLiteral("w%1-").arg(w),
                                                            QString::number(kWritesEach)});
  }
  for (auto& writer : writers) {
    ASSERT_TRUE(writer->waitForFinished(60'000));
    EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().constData();
  }

  FileSharedDefaults defaults(path);
  int found = 0;
  for (int w = 0; w < kWriters; ++w) {
    for (int n = 0; n < kWritesEach; ++n) {
      if (defaults.integerValue(QStringLiteral("w%1-%2").arg(w).arg(n)) == n) ++found;
    }
  }
  EXPECT_EQ(found, kWriters * kWritesEach);
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
