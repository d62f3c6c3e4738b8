#include "ZelUtils.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace {


std::function<void(const std::string &)> ErrorDisplay;

constexpr bool Has(TMsgDlgButtons set, TMsgDlgBtn button) { return (set >> button) & 1u; }

} // namespace

std::uint32_t DialogStyle(TMsgDlgType type, TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) {
  static constexpr std::uint32_t Icons[] = {0x30, 0x10, 0x40, 0x20, 0};
  std::uint32_t style = Icons[type] | 0x2000;
  auto second = [&](TMsgDlgBtn b) { return defaultButton == b ? 0x100u : 0u; };
  auto third = [&](TMsgDlgBtn b) { return defaultButton == b ? 0x200u : 0u; };
  if (Has(buttons, mbAbort) && Has(buttons, mbRetry) && Has(buttons, mbIgnore))
    style |= 2 | second(mbRetry) | third(mbIgnore);
  else if (Has(buttons, mbYes) && Has(buttons, mbNo) && Has(buttons, mbCancel))
    style |= 3 | second(mbNo) | third(mbCancel);
  else if (Has(buttons, mbYes) && Has(buttons, mbNo))
    style |= 4 | second(mbNo);
  else if (Has(buttons, mbRetry) && Has(buttons, mbCancel))
    style |= 5 | second(mbCancel);
  else if (!Has(buttons, mbOK) || !Has(buttons, mbCancel))
    style |= Has(buttons, mbHelp) ? 0x4000u : 0u;
  else
    style |= 1 | second(mbCancel);
  return style;
}

std::string DialogTitle(TMsgDlgType type, const std::string &title) {
  static const char *const Captions[] = {"Warning", "Error", "Information", "Confirm", ""};
  if (!title.empty())
    return title;
  if (Captions[type][0] != '\0')
    return Captions[type];
  return QApplication::applicationDisplayName().toStdString();
}

QMessageBox *BuildMessageBox(const std::string &msg, const std::string &title,
                             std::uint32_t style) {
  auto *box = new QMessageBox(nullptr);
  box->setWindowTitle(QString::fromStdString(title));
  box->setText(QString::fromStdString(msg));
  switch (style & 0xf0) {
  case 0x10:
    box->setIcon(QMessageBox::Critical);
    break;
  case 0x20:
    box->setIcon(QMessageBox::Question);
    break;
  case 0x30:
    box->setIcon(QMessageBox::Warning);
    break;
  case 0x40:
    box->setIcon(QMessageBox::Information);
    break;
  default:
    break;
  }
  using B = QMessageBox::StandardButton;
  static const std::vector<B> Layouts[] = {
      {B::Ok}, {B::Ok, B::Cancel}, {B::Abort, B::Retry, B::Ignore},
      {B::Yes, B::No, B::Cancel}, {B::Yes, B::No}, {B::Retry, B::Cancel}};
  const auto &layout = Layouts[std::min<std::uint32_t>(style & 0xf, 5)];
  for (B button : layout)
    box->addButton(button);
  if (style & 0x4000)
    box->addButton(B::Help);
  const std::size_t defaultIndex = (style >> 8) & 3;
  if (defaultIndex < layout.size())
    box->setDefaultButton(layout[defaultIndex]);
  if (style & 0x2000)
    box->setWindowModality(Qt::ApplicationModal);
  return box;
}

void ShowDialog(const std::string &msg, TMsgDlgType type, const std::string &title,
                std::function<void(TMsgDlgBtn)> result, TMsgDlgBtn defaultButton,
                TMsgDlgButtons buttons) {
  const std::uint32_t style = DialogStyle(type, buttons, defaultButton);
  const std::string caption = DialogTitle(type, title);
  ExecuteInIdle([msg, caption, style, result = std::move(result)] {
    std::unique_ptr<QMessageBox> box(BuildMessageBox(msg, caption, style));
    box->exec();
    if (!result)
      return;
    using B = QMessageBox::StandardButton;
    switch (box->standardButton(box->clickedButton())) {
    case B::Yes:
      return result(mbYes);
    case B::No:
      return result(mbNo);
    case B::Ok:
      return result(mbOK);
    case B::Abort:
      return result(mbAbort);
    case B::Retry:
      return result(mbRetry);
    case B::Ignore:
      return result(mbIgnore);
    case B::Help:
      return result(mbHelp);
    default:
      return result(mbCancel); // closed by the window's close button or Escape
    }
  });
}

void ShowError(const std::string &message) {
  if (ErrorDisplay) {
    ErrorDisplay(message);
    return;
  }
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                        QString::fromStdString(message));
}

void SetErrorDisplay(std::function<void(const std::string &)> display) {
  ErrorDisplay = std::move(display);
}

void Guarded(const std::function<void()> &handler) {
  try {
    handler();
  } catch (const std::exception &error) {
    ShowError(error.what());
  } catch (...) {
    ShowError("Unknown error");
  }
}
