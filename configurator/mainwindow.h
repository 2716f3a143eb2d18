#pragma once

#include <QMainWindow>

namespace brelko {
class TranslatorPair;
} // namespace brelko

namespace configurator {

class CentralWidget;

class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Hands control back to the program named by the first argument.
    ~MainWindow() override;

    CentralWidget *centralPart() const { return m_central; }

    // Where the calling program is started: its path cut after the last
    // separator; empty (our own folder) when the path has none.
    static QString handBackDirectory(const QString &program);

public slots:
    void switchLanguage(const QString &nativeName);

protected:
    void changeEvent(QEvent *event) override;

private:
    CentralWidget *m_central;
    brelko::TranslatorPair *m_translators = nullptr;
};

} // namespace configurator
