#pragma once

#include <QWidget>

class QPushButton;

namespace configurator {

// The Apply/Restore bar at the bottom of every tab that edits settings.
class TabBattons final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TabBattons)

public:
    explicit TabBattons(QWidget *parent = nullptr);

    QPushButton *applyButton() const { return m_apply; }
    QPushButton *restoreButton() const { return m_restore; }

signals:
    void apply();
    void restore();

private:
    QPushButton *m_apply;
    QPushButton *m_restore;
};

} // namespace configurator
