#include <QElapsedTimer>
#include <QProcess>
#include <QUrl>

#include <gtest/gtest.h>

#include "AgentProgramFixture.h"
#include "panel/FinishButton.h"
#include "panel/PanelContent.h"
#include "panel/PanelWindowFrame.h"
#include "panel/BarMetrics.h"
#include "panel/UploadPanelView.h"

namespace pm::test {
namespace {

using namespace std::chrono_literals;

// The screen xvfb-run gives the test (see CMakeLists.txt); with no window manager all of it is free.
const QRect kScreen(0, 0, 1280, 800);

// Where the finish button's circle is on screen when the bar at the left edge holds `items` tiles.
QPoint finishButtonCentre(qsizetype items) {
  const QRect frame = panelWindowFrame(PanelEdge::left, kScreen);
  // The view inside the window, where the panel's content rests once shown.
  const QRect view = QRect(QPoint(0, 0), frame.size()).marginsRemoved(PanelContent::padding(PanelEdge::left));
  const int length = BarMetrics::stripLength(BarMetrics::tileCapacity(view.height()), items);
  const QRect room =
      view.marginsRemoved(QMargins(BarMetrics::kOuterPadding, BarMetrics::kOuterPadding,
                                   BarMetrics::kOuterPadding, BarMetrics::kOuterPadding));
  const int barTop = room.center().y() - (length - 1) / 2;
  const int barRight = room.left() + BarMetrics::kBarThickness;
  const int radius = FinishButton::kDiameter / 2;
  const int inset = int(BarMetrics::kFinishButtonInset);
  return frame.topLeft() + QPoint(barRight - radius + inset, barTop + radius - inset);
}

QString run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(5000) || process.exitCode() != 0) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

class BarOnX11 : public AgentProgramFixture {};

// The whole road on a real X server: files sent from the command line, the finish button clicked with the
// mouse, the share link read back from the clipboard by another program.
TEST_F(BarOnX11, AClickOnTheFinishButtonPutsTheShareLinkOnTheClipboard) {
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "runs under xvfb-run";
  ASSERT_NO_FATAL_FAILURE(startService(QStringLiteral("x11@example.com")));
  agent->showOnDisplay();
  ASSERT_NO_FATAL_FAILURE(startAgent());

  const QStringList names{QStringLiteral("first.txt"), QStringLiteral("second.txt")};
  QStringList arguments{QStringLiteral("send")};
  for (const QString& name : names)
    arguments << root.write(QStringLiteral("files/") + name, "bytes of " + name.toUtf8());
  const AgentProcess::Finished sent = agent->launch(arguments);
  ASSERT_EQ(sent.exitCode, 0) << sent.errors.toStdString();
  ASSERT_TRUE(runUntil([&] {
    return std::all_of(names.begin(), names.end(),
                       [&](const QString& name) { return service->storedFile(name).has_value(); });
  })) << agent->log().toStdString();

  // The button fades in once the session can finish, which this process cannot see: a click before then
  // finds no button, so the click is repeated until the link is on the clipboard.
  const QPoint button = finishButtonCentre(names.size());
  QString link;
  const auto linkArrived = [&] {
    link = run(QStringLiteral("xclip"),
               {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    return !link.isEmpty();
  };
  QElapsedTimer clicking;
  clicking.start();
  bool arrived = false;
  while (!arrived && clicking.elapsed() < kHangBound.count()) {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(button.x()),
         QString::number(button.y()), QStringLiteral("click"), QStringLiteral("1")});
    arrived = runUntil(linkArrived, 5s);
  }
  ASSERT_TRUE(arrived)
      << agent->log().toStdString() << "\nclicked at " << button.x() << "," << button.y() << "\n"
      << run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}).toStdString();
  const QUrl url(link, QUrl::StrictMode);
  EXPECT_TRUE(url.isValid() && url.scheme().startsWith(QLatin1String("http")) && !url.path().isEmpty())
      << link.toStdString();
  EXPECT_FALSE(link.contains(QLatin1Char('\n'))) << "the link alone";
}

}  // namespace
}  // namespace pm::test
