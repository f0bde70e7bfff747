#ifndef HYGROVANE_SERIALPORTSETTINGDIALOG_H
#define HYGROVANE_SERIALPORTSETTINGDIALOG_H

#include <QDialog>

namespace Ui {
class SerialportSettingDialog;
}

// Chooses the port and the baud rate (or "AUTO") for the next link. Built
// anew for every Link press: it probes the ports and restarts the AUTO search.
class SerialportSettingDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SerialportSettingDialog(QWidget *parent = nullptr);
    ~SerialportSettingDialog() override;

private slots:
    void ClickedCancelSlots();
    void ClickedOKSlots();

private:
    Ui::SerialportSettingDialog *ui;
};

#endif
