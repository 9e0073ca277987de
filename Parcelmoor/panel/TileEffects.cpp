#include "TileEffects.h"

#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <memory>

#include "panel/ItemTile.h"
#include "panel/RevealThumbnail.h"
#include "panel/RipplePulse.h"

namespace pm {

namespace {

// The effects are widgets of their own that are never shown: they are drawn into the tile's painter, so
// they clip and stack with the rest of the tile.
template <typename Effect>
void drawInto(Effect& effect, QPainter& painter, const QRectF& tile) {
  if (effect.size() != tile.size().toSize()) effect.resize(tile.size().toSize());
  effect.render(&painter, tile.topLeft().toPoint(), QRegion(), QWidget::RenderFlags());
}

}  // namespace

void attachTileEffects(ItemTile& tile, const Clock& clock, const MonotonicClock& steadyClock) {
  const auto pulse = std::make_shared<std::unique_ptr<RipplePulse>>();
  const auto pulseFor = [pulse, &steadyClock]() -> RipplePulse& {
    if (!*pulse) *pulse = std::make_unique<RipplePulse>(steadyClock);
    return **pulse;
  };
  QObject::connect(&tile, &ItemTile::rippleActiveChanged, &tile,
                   [pulseFor](bool active) { pulseFor().setActive(active); });
  if (tile.rippleActive()) pulseFor().setActive(true);
  // Drawn directly rather than rendered as a widget: the pulse's picture is kept, and rendering a widget
  // costs more than drawing that picture.
  tile.setRipplePainter([pulse](QPainter& painter, const QRectF& rect) {
    if (*pulse) (*pulse)->paint(painter, rect);
  });

  const auto reveal = std::make_shared<std::unique_ptr<RevealThumbnail>>();
  QPointer<ItemTile> owner(&tile);
  tile.setRevealPainter([reveal, owner, &clock](QPainter& painter, const QRectF& rect, const QImage& content,
                                                const QDateTime& start) {
    if (!*reveal) {
      const std::weak_ptr<std::unique_ptr<RevealThumbnail>> made = reveal;
      RevealThumbnail::Reveal plan{start, rect.width(), std::chrono::milliseconds(1100), {}, false};
      // Once played, the tile draws its picture plainly and the effect goes.
      plan.onFinish = [owner, made] {
        if (owner) owner->markRevealed();
        QTimer::singleShot(0, [made] {
          if (const auto held = made.lock()) held->reset();
        });
      };
      *reveal = std::make_unique<RevealThumbnail>(clock, QPixmap::fromImage(content), std::move(plan));
    }
    drawInto(**reveal, painter, rect);
  });
}

}  // namespace pm
