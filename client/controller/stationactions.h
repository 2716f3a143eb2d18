#pragma once

#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QToolBar;

namespace morvex {

// The controller's actions and where they appear: the main window's menus
// and tool bar, and the tray menu. The receiver actions form one exclusive
// group.
class StationActions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationActions)

public:
    explicit StationActions(QObject *parent = nullptr);

    void fillMenuBar(QMenuBar *bar);
    void fillToolBar(QToolBar *bar);
    void fillTrayMenu(QMenu *menu);
    void retranslate();

    QAction *const open;
    QAction *const tone;
    QAction *const settings;
    QAction *const home;
    QAction *const about;
    QAction *const aboutQt;
    QAction *const quit;
    QAction *const mainRx;
    QAction *const subRx;
    QAction *const bothRx;

private:
    QActionGroup *m_rxActions;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_toolsMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QMenu *m_settingsMenu = nullptr;
};

} // namespace morvex
