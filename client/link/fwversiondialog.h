#pragma once

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLabel;

namespace morvex {

// Notice that the Brelko's firmware is older than this client needs.
class FwVersionDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FwVersionDialog)

public:
    explicit FwVersionDialog(QWidget *parent = nullptr);

    QString messageText() const;
    // Last state of "Do not show this message".
    bool dontShowState() const { return m_dontShow; }

    QLabel *label() const { return m_label; }
    QCheckBox *checkBox() const { return m_checkBox; }
    QDialogButtonBox *buttonBox() const { return m_buttonBox; }

public slots:
    void setMessageText(const QString &msg);
    void dontShow(bool state);
    // Sets the text and shows the dialog.
    void showNotice(const QString &msg);

private:
    QLabel *m_label = nullptr;
    QCheckBox *m_checkBox = nullptr;
    QDialogButtonBox *m_buttonBox = nullptr;
    bool m_dontShow = false;
};

} // namespace morvex
