#include "FormControls.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>

// The memo shows lines; the job and the store see them joined by CR LF.
QString MemoText(const QPlainTextEdit *memo) { return memo->toPlainText().replace("\n", "\r\n"); }

QDoubleSpinBox *NumberBox(QWidget *parent, double minimum, double maximum, int decimals,
                          double step, double value) {
  auto *box = new QDoubleSpinBox(parent);
  box->setLocale(QLocale::c());
  box->setDecimals(decimals);
  box->setRange(minimum, maximum);
  box->setSingleStep(step);
  box->setValue(value);
  box->setKeyboardTracking(true); // change events while typing, as the store expects
  box->setButtonSymbols(QAbstractSpinBox::NoButtons);
  box->setAlignment(Qt::AlignRight);
  return box;
}

QLabel *Label(const QString &text, QWidget *buddy) {
  auto *label = new QLabel(text);
  if (buddy)
    label->setBuddy(buddy);
  return label;
}
