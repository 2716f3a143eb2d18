#pragma once

#include "configurator/abstracttab.h"

#include <array>

namespace configurator {

class PermItem;
class TabBattons;

// "Permissions": the seven permission slots of devices that have them, each
// an extra password with its own rights and time limits (HID parameters 29
// and 30 per slot).
class Permission final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Permission)

public:
    static constexpr int kSlots = 7;

    explicit Permission(QWidget *parent = nullptr);

    void loadFromSettings() override;
    void saveToSettings() override;

    // The row of a slot; null outside 0 to 6.
    PermItem *item(int index) const;
    TabBattons *buttons() const { return m_buts; }

public slots:
    bool loadData() override;
    void applyData() override;

protected:
    void reportFailure(Failure failure, const QString &hidError) override;

private:
    // Where the failing request was made, for the debug line.
    void setSite(const char *function, int line)
    {
        m_function = function;
        m_line = line;
    }

    PermItem *m_perm0;
    PermItem *m_perm1;
    PermItem *m_perm2;
    PermItem *m_perm3;
    PermItem *m_perm4;
    PermItem *m_perm5;
    PermItem *m_perm6;
    TabBattons *m_buts;
    const char *m_function = "";
    int m_line = 0;
};

} // namespace configurator
