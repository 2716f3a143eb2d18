#pragma once

#include <QVector>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// Shows every log line of the program and the receive stream statistics.
class Console final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Console)

public:
    // The view keeps the newest lines only: about 1 kB each, and a long
    // session with reconnections logs hundreds of lines an hour.
    static constexpr int kMaxLines = 2000;

    explicit Console(QWidget *parent = nullptr);
    ~Console() override;

    bool isPaused() const { return m_paused; }
    QString text() const;
    QString statisticsText() const;

signals:
    void sendMessage(QString line);
    void signalSetVisible();

public slots:
    void message(const QString &line);
    void pause();
    void clear();
    void updateStatistics(QVector<quint32> stats);

private:
    QTabWidget *m_tabs;
    QPlainTextEdit *m_view;
    QLabel *m_stats;
    QPushButton *m_pauseBtn;
    QPushButton *m_clearBtn;
    bool m_paused = false;
};
