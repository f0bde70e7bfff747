#ifndef HYGROVANE_PUBLISHDIALOG_H
#define HYGROVANE_PUBLISHDIALOG_H

#include <QDialog>

#include "publish/publisher.h"

class QTimer;
namespace Ui {
class PublishDialog;
}

// Where the watch's readings are published, and whether: the broker, the
// credentials, the CA, the topic prefix and discovery, remembered between
// runs (all but the password), and the publisher's state as it goes.
class PublishDialog : public QDialog
{
    Q_OBJECT

public:
    PublishDialog(publish::Publisher *publisher, QWidget *parent);
    ~PublishDialog() override;
    // The one dialog below `parent`: made the first time, raised after.
    static void bringUp(publish::Publisher *publisher, QWidget *parent);
    // Where the last connection went, as remembered (empty where nothing
    // was): never a password.
    static publish::Settings remembered();

private:
    void toggle();
    void chooseCaFile();
    void showCaFile();
    void showState();

    publish::Publisher *publisher;
    QString caFile;
    QTimer *refresh;
    Ui::PublishDialog *ui;
};

#endif
