#pragma once

#include "client/prefs/abstracttab.h"

#include <QString>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace morvex {

// Address, password, transmit buffering and ports of the Brelko; location
// files ("*.brelkonet") carry the same values.
class NetworkTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkTab)

public:
    static constexpr int kTxTimeoutDefault = 180;
    static constexpr int kTxTimeoutMax = 1800;
    static constexpr int kRigPortDefault = 4532;

    // Asks the user for a file: (save?, title, filter) -> path or empty.
    using FileChooser = std::function<QString(bool save, const QString &title, const QString &filter)>;

    // What a location file holds; a key it lacks, or a number it spells
    // wrongly, stays unset and leaves the widget alone.
    struct Location
    {
        std::optional<QString> address;
        std::optional<QString> password;
        std::optional<int> txBuffering;
        std::optional<int> cmdPort;
        std::optional<int> rtpPort;
        std::optional<int> pttCwPort;
    };
    static Location readLocationFile(const QString &path);

    explicit NetworkTab(QWidget *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    QString address() const;
    QString password() const;
    int txBuffering() const;
    // Slider value / step: 10 for 200 ms.
    int txBufferingSteps() const;
    int cmdPort() const;
    int rtpPort() const;
    int pttCwPort() const;
    // Seconds of continuous PTT after which it is released; 0: never.
    int txTimeout() const;

    // The rig control server for local radio programs.
    bool rigEnabled() const;
    int rigPort() const;
    bool rigRemote() const;
    int rigModel() const; // Hamlib's model number, 0: none
    bool rigPttByCat() const;

    // Fills the radio model list. It loads Hamlib, so it waits until the
    // operator opens this tab; until then the saved model number is kept.
    void loadRigModels();
    bool rigModelsLoaded() const { return m_modelsLoaded; }
    // Why the list holds no radio models; empty when it does.
    QString rigModelNote() const;

    QCheckBox *rigEnabledBox() const { return m_rigEnabled; }
    QSpinBox *rigPortBox() const { return m_rigPort; }
    QCheckBox *rigRemoteBox() const { return m_rigRemote; }
    QComboBox *rigModelBox() const { return m_rigModel; }
    QComboBox *rigPttBox() const { return m_rigPtt; }
    QLineEdit *addressEdit() const { return m_address; }
    QLineEdit *passwordEdit() const { return m_password; }
    QSlider *bufferSlider() const { return m_buffer; }
    QSpinBox *cmdPortBox() const { return m_cmdPort; }
    QSpinBox *rtpPortBox() const { return m_rtpPort; }
    QSpinBox *pttCwPortBox() const { return m_pttCwPort; }
    QSpinBox *txTimeoutBox() const { return m_txTimeout; }
    QString bufferLabelText() const;

signals:
    void settingsImported();

public slots:
    void openFile(const QString &path);
    void exportSettings();
    void importSettings();
    void bufferChanged(int val);
    void saveSettings() override;
    void loadSettings() override;

protected:
    void showEvent(QShowEvent *event) override;
    QStringList stateFields() const override;
    void applyFields(const QStringList &fields) override;

private:
    void readLocation(const QString &path);
    QWidget *buildRigGroup();
    void setRigModel(int model);

    QLineEdit *m_address;
    QLineEdit *m_password;
    QSlider *m_buffer;
    QLabel *m_bufferValue;
    QSpinBox *m_cmdPort;
    QSpinBox *m_rtpPort;
    QSpinBox *m_pttCwPort;
    QSpinBox *m_txTimeout;
    QCheckBox *m_rigEnabled;
    QSpinBox *m_rigPort;
    QCheckBox *m_rigRemote;
    QComboBox *m_rigModel;
    QComboBox *m_rigPtt;
    QLabel *m_rigNote;
    bool m_modelsLoaded = false;
    int m_wantedModel = 0; // the model chosen while the list is not filled
    FileChooser m_chooser;
};

} // namespace morvex
