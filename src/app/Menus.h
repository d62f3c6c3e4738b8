#pragma once
// The window's menu bar: the commands of the buttons with their usual
// shortcuts, the files opened last, the preview switches, the program's own
// help, the controls' tool tips, and the window's place kept between runs.

#include <functional>
#include <string>

#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class TMainWindow;

class TMainMenus {
public:
  // openFile loads a file picked from the recent files.
  TMainMenus(TMainWindow &window, std::function<void(const QString &)> openFile);

  QAction *OpenAction = nullptr, *SaveAction = nullptr, *QuitAction = nullptr,
          *ShowLinesAction = nullptr, *HelpAction = nullptr, *AboutAction = nullptr,
          *ZoomInAction = nullptr, *ZoomOutAction = nullptr, *FitAction = nullptr;
  QMenu *RecentMenu = nullptr, *ViewMenu = nullptr;
  // Files opened last, newest first, as absolute paths.
  QStringList RecentFiles() const;
  void AddRecentFile(const QString &fileName);
  static std::string AboutText();
  static std::string HelpText();
  // The window's size and place as the user left them last time.
  void RestoreLayout();
  void SaveLayout() const;

private:
  void SetToolTips();
  void Build();
  void UpdateRecentMenu();

  TMainWindow &FWindow;
  std::function<void(const QString &)> FOpenFile;
};
