#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class QToolButton;

namespace pm::settings {

// The choice of a connection's symbol: the kind's default (stored as empty text) above a grid of thirty
// symbols in six columns. A pick tells the new name, then that a pick was made.
class SymbolPicker final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 6;
  static const QStringList& symbols();
  // What a symbol shows, in words, for its tooltip ("Database" for "cylinder.split.1x2").
  static QString symbolTitle(const QString& name);

  // `symbol` is the connection's own (empty: the default); `fallback` the kind's default symbol, drawn only.
  SymbolPicker(QString symbol, const QString& fallback, QWidget* parent = nullptr);

  const QString& symbol() const { return symbol_; }
  // The cell of `value` ("" for the default); null for none.
  QToolButton* cell(const QString& value) const;

 Q_SIGNALS:
  void symbolChanged(const QString& symbol);
  void picked();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  QToolButton* addCell(const QString& value, const QString& image, const QString& help);
  void pick(const QString& value);
  void highlight();

  QString symbol_;
  QList<QToolButton*> cells_;
};

}  // namespace pm::settings
