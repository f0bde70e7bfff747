#include "testsupport.h"

#include "app/uartdata.h"

#include <QApplication>
#include <QMessageBox>

MessageBoxCatcher::MessageBoxCatcher(QObject *parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxCatcher::poll);
    m_timer.start(5);
}

void MessageBoxCatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (auto *dialog = qobject_cast<SerialportSettingDialog *>(modal)) {
        if (m_dialogHandler && m_handled != dialog && dialog->isVisible()) {
            m_handled = dialog;
            m_dialogHandler(dialog);
        }
        return;
    }
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (!box || !box->isVisible())
        return;
    m_seen.append({box->windowTitle(), box->text(), box->parentWidget()});
    box->done(QMessageBox::Ok);
}

void resetUartData()
{
    UartData = UartDataRecord();
}

QStringList WidgetAccess::logLines(Widget *w)
{
    const QString text = w->ui->textBrowser->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

std::function<void(SerialportSettingDialog *)> chooseLink(const QString &port,
                                                          const QString &baudItem)
{
    return [port, baudItem](SerialportSettingDialog *dialog) {
        Ui::SerialportSettingDialog *ui = DialogAccess::ui(dialog);
        ui->comboBoxName->setEditText(port);
        ui->comboBoxBaud->setCurrentText(baudItem);
        ui->pushButtonOK->click();
    };
}
