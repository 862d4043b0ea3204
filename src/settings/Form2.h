#pragma once

#include <QDialog>
#include <array>
#include <memory>

#include "platform/Services.h"
#include "settings/SharedSettings.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The settings dialog: the reading voice, greeted in at once, and the editor font with a
// sample. A new one is made for each opening; it leaves its choices in the shared settings.
class Form2 : public QDialog {
    Q_OBJECT
  public:
    Form2(SharedSettings& settings, platform::Services services, QWidget* mainWindow);

    void Form_Load();
    void Option1_Click(qint16 index);
    void Command1_Click();

    // The size as the frame caption writes it: shortest form, the user's decimal separator.
    static QString sizeText(float points);

    QGroupBox* Frame1;
    std::array<QRadioButton*, 2> Option1;
    QGroupBox* Frame2;
    QPushButton* Command1;
    QLineEdit* Text1;
    std::unique_ptr<platform::SpeechControl> PtSvr1;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    SharedSettings& settings_;
    platform::Services services_;
    QWidget* mainWindow_;
};
