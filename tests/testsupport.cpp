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
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_seen.append({box->windowTitle(), box->text(), box->parentWidget()});
    box->done(QMessageBox::Ok);
}

void resetUartData()
{
    UartData = UartDataRecord();
}
