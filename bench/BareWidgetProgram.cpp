// The floor the agent's start is weighed against: a Qt widget program that does nothing but show one
// window. It writes "shown" on standard output once its event loop runs with the window shown, and ends.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.resize(320, 200);
  window.show();
  QTimer::singleShot(0, &application, [] {
    std::fputs("shown\n", stdout);
    std::fflush(stdout);
    QCoreApplication::quit();
  });
  return QApplication::exec();
}
