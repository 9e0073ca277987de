// Paints a bar's worth of tiles many times over and decodes a 24-megapixel photo to a tile picture.
// Aims: under 0.1 ms per tile paint (a mix of states, thumbnails cached) and under 150 ms for the photo's
// thumbnail at 120 pixels, which runs on a worker thread. Run: `bench_tile_paint` (offscreen by itself).
#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <QCoroTask>
#include <benchmark/benchmark.h>


#include "core/Bucket.h"
#include "panel/FileViewer.h"
#include "panel/ItemTile.h"
#include "panel/ThumbnailLoader.h"
#include "platform/Clock.h"

namespace {

constexpr int kTiles = 1000;

class NoFileViewer final : public pm::FileViewer {
 public:
  void open(const QString&) override {}
  void showInFolder(const QString&) override {}
};

void waitFor(QCoro::Task<pm::LoadedThumbnail> task) {
  bool done = false;
  auto run = [](QCoro::Task<pm::LoadedThumbnail> loading, bool& finished) -> QCoro::Task<> {
    co_await loading;
    finished = true;
  };
  QCoro::Task<> running = run(std::move(task), done);
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A photo-like picture: smooth gradients with grain, which compresses like a real photo.
QString writePhoto(const QTemporaryDir& dir, const QString& name, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  auto* random = QRandomGenerator::global();
  for (int y = 0; y < size.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < size.width(); ++x) {
      const int grain = int(random->bounded(24));
      line[x] = qRgb((x * 255 / size.width() + grain) & 0xff, (y * 255 / size.height() + grain) & 0xff,
                     (128 + grain) & 0xff);
    }
  }
  const QString path = dir.filePath(name);
  if (!image.save(path, "JPEG", 90)) qFatal("cannot write the photo");
  return path;
}

void BM_TilePaint(benchmark::State& state) {
  QTemporaryDir dir;
  const pm::SystemClock clock;
  const pm::SteadyClock steadyClock;
  NoFileViewer files;
  const QString pictures[] = {writePhoto(dir, QStringLiteral("a.jpg"), QSize(400, 300)),
                              writePhoto(dir, QStringLiteral("b.jpg"), QSize(300, 400))};
  for (const QString& picture : pictures) waitFor(pm::loadThumbnail(picture, pm::ItemTile::kSide));

  // Laid out as a strip of the bar would hold them, so one paint of the strip paints every tile the way a
  // window repaint does.
  constexpr int kColumns = 40;
  constexpr int kPitch = pm::ItemTile::kSide + 5;
  QWidget strip;
  strip.resize(kColumns * kPitch, (kTiles / kColumns) * kPitch);
  for (int n = 0; n < kTiles; ++n) {
    auto item = std::make_shared<pm::BucketItem>(pictures[n % 2], clock.now().addSecs(-10));
    switch (n % 5) {
      case 0: item->setState(pm::BucketItem::State::registering()); break;
      case 1: item->setState(pm::BucketItem::State::uploading(0.4)); break;
      case 2: item->setState(pm::BucketItem::State::uploaded()); break;
      case 3:
        item->setState(pm::BucketItem::State::failed());
        item->setErrors({{item->name(), {pm::UploadError::http(500)}}});
        break;
      case 4: item->setState(pm::BucketItem::State::uploaded()); break;
    }
    auto* tile = new pm::ItemTile(item, clock, steadyClock, files, &strip);
    tile->move((n % kColumns) * kPitch, (n / kColumns) * kPitch);
    tile->setSelected(n % 7 == 0);
  }

  QImage canvas(strip.size(), QImage::Format_ARGB32_Premultiplied);
  strip.render(&canvas);  // polishes and lays out once, as showing the window would
  // Only the tiles: the strip's own background is the bar's business.
  for (auto _ : state) strip.render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
  state.counters["s_per_tile"] = benchmark::Counter(double(state.iterations()) * kTiles,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel("aim: s_per_tile < 100u");
}
BENCHMARK(BM_TilePaint)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_PhotoThumbnail(benchmark::State& state) {
  static QTemporaryDir dir;
  static const QString photo = writePhoto(dir, QStringLiteral("photo-24mp.jpg"), QSize(6000, 4000));
  for (auto _ : state) {
    std::optional<QImage> thumbnail = pm::decodeImageThumbnail(photo, 120);
    if (!thumbnail || std::max(thumbnail->width(), thumbnail->height()) != 120) state.SkipWithError("bad picture");
    benchmark::DoNotOptimize(thumbnail);
  }
  state.SetLabel("aim: < 150 ms");
}
BENCHMARK(BM_PhotoThumbnail)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
