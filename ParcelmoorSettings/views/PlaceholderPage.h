#pragma once

#include <QString>
#include <QWidget>

namespace pm::settings {

// A page whose controls are not here yet: its title and a line saying so, centred.
class PlaceholderPage final : public QWidget {
  Q_OBJECT

 public:
  PlaceholderPage(const QString& title, const QString& objectName, QWidget* parent = nullptr);
};

}  // namespace pm::settings
