#pragma once
// The pieces the settings panel is built from: plain number boxes, labels
// with their buddies, and the text of a template memo as the job sees it.

#include <QString>

class QDoubleSpinBox;
class QLabel;
class QPlainTextEdit;
class QWidget;

// A number box without spin buttons that reports every keystroke, as the
// settings store expects, and reads numbers the same in every locale.
QDoubleSpinBox *NumberBox(QWidget *parent, double minimum, double maximum, int decimals,
                          double step, double value);
QLabel *Label(const QString &text, QWidget *buddy = nullptr);
// The memo shows lines; the job and the store see them joined by CR LF.
QString MemoText(const QPlainTextEdit *memo);
