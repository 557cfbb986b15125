// The Settings page (port, SMS centre, language, synchronisation, stored in the settings store)
// and the About page it opens.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "control/window_interface.h"
#include "ui/page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace telvane {

class SettingsStore;
struct MainDialogOptions;

struct PortEntry {
    std::string name;          // "COM3"
    std::string path;          // the device's stable path
    std::string friendlyName;  // vendor and model
};

class SettingsPage : public Page {
    Q_OBJECT

  public:
    static constexpr int kMaxPorts = 7;

    SettingsPage(SettingsStore& store, const MainDialogOptions& options,
                 std::function<void(const QString&)> message, qreal scale, QWidget* parent);

    void Relayout() override;
    void Relabel();

    // The stored values (the first-run values written when there are none).
    void Load();
    // The serial ports into the drop-down; the infrared port or the default becomes the port.
    void DetectPorts();
    // The port list again, as devices came and went: the line chosen stays chosen while its
    // port is there, and no box is shown.  False when nothing changed.
    bool RefreshPorts();
    // The values into the controls.
    void ShowValues();
    // The controls' values, stored.
    void Store();
    // The centre the connected modem holds (empty: not known); shown while Auto Detect is
    // ticked, never stored.
    void ShowDetectedCentre(const std::u16string& number);

    const std::vector<PortEntry>& Ports() const { return ports_; }
    ControllerSettings Values() const { return values_; }
    int Language() const { return language_; }
    bool ConnectAtStart() const { return connectAtStart_; }

  signals:
    void OkayClicked();
    void CancelClicked();
    void AboutClicked();
    void ModemClicked();
    void UssdClicked();

  private:
    // The centre box follows Auto Detect: the detected centre, greyed, or the user's own.
    void ShowCentre();

    SettingsStore& store_;
    const MainDialogOptions& options_;
    std::function<void(const QString&)> message_;

    std::vector<PortEntry> ports_;
    ControllerSettings values_;
    int language_ = 0;
    bool connectAtStart_ = false;
    std::u16string detectedCentre_;
    QString typedCentre_;  // the user's own, kept while Auto Detect shows the detected one

    QLabel* portLabel_;
    QComboBox* portBox_;
    QLabel* operatorLabel_;
    QCheckBox* autoDetect_;
    QLabel* centreLabel_;
    QLineEdit* centre_;
    QLabel* syncLabel_;
    QCheckBox* syncSmsBox_;
    QCheckBox* syncPbkBox_;
    QLabel* languageLabel_;
    QComboBox* languageBox_;
    QPushButton* okay_;
    QPushButton* cancel_;
    QPushButton* about_;
    QPushButton* modem_;
    QPushButton* ussd_;
    QRadioButton* readPbk_;
    QRadioButton* writePbk_;
    QCheckBox* connectAtStartBox_;
    QCheckBox* deliveryReportsBox_;
    QCheckBox* reconnectBox_;
};

class AboutPage : public Page {
    Q_OBJECT

  public:
    AboutPage(qreal scale, QWidget* parent);
    void Relayout() override;
    void Relabel();

  signals:
    void OkayClicked();

  private:
    QLabel* picture_;
    QLabel* text_;
    QPushButton* okay_;
};

}  // namespace telvane
