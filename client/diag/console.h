#pragma once

#include <QVector>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace morvex {

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
    // received, lost, late, their totals, and the total of datagrams dropped
    // because they did not come from the box.
    static constexpr int kStatistics = 7;
    // The statistics as one line, as they are logged.
    static QString statisticsLine(QVector<quint32> stats);

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
    quint32 m_foreignLogged = 0;
};

} // namespace morvex
