#include "LaunchRequests.h"

#include <QCoreApplication>
#include <QTextStream>

#include "app/AppDelegate.h"
#include "platform/SingleInstance.h"

namespace pm {

std::optional<int> handOffToRunningAgent(SingleInstance& instance, const QStringList& arguments,
                                         QTextStream& err) {
  switch (instance.claimOrForward(arguments)) {
    case SingleInstance::Launch::forwarded:
      return 0;
    case SingleInstance::Launch::unanswered:
      err << QCoreApplication::translate("LaunchRequests",
                                         "Parcelmoor: another Parcelmoor is running in this session but does "
                                         "not answer, so no second one was started. Quit it (or end its "
                                         "process) and start Parcelmoor again.")
          << '\n'
          << Qt::flush;
      return 1;
    case SingleInstance::Launch::primary:
    case SingleInstance::Launch::noBus:
      break;
  }
  return std::nullopt;
}

void routeLaunchRequests(SingleInstance& instance, AppDelegate& delegate, const QStringList& arguments) {
  QObject::connect(&instance, &SingleInstance::reopenRequested, &delegate, &AppDelegate::reopen);
  QObject::connect(&instance, &SingleInstance::urlsOpened, &delegate,
                   [&delegate](const QStringList& urls) { delegate.openUrls(urls); });
  if (const QStringList urls = SingleInstance::schemeUrls(arguments); !urls.isEmpty())
    delegate.openUrls(urls);
}

}  // namespace pm
