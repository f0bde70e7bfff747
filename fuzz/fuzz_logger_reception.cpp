// The logger side of reception: brace-framed replies (information, settings,
// the 135-byte long frame, any other command), whole or split, mixed with raw
// bytes and RTU replies, and what they do to the record controls.
//
// Input: a readItem selector (see fuzz::readItemFrom), one byte for the
// controls the technician left (bit 0 Real Monitoring, bit 1 "Timing Start",
// bits 2..5 the sampling interval), then records (see fuzz::nextChunks), half
// of whose kinds are logger frames.
#include "harness.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QRadioButton>

namespace {

constexpr int kIntervals[16] = {1,   2,   5,    10,   20,   30,    60,    120,
                                300, 600, 1800, 3600, 7200, 21600, 43200, 45000};

struct Controls
{
    bool record, monitoring;
    int startMode, interval;

    static Controls of(Ui::Widget *ui)
    {
        return {ui->radioButtonRecord->isChecked(), ui->radioButtonRealmonitoring->isChecked(),
                ui->recmodecomboBox->currentIndex(), ui->sample_ratecomboBox->currentIndex()};
    }
};

// What a technician can leave behind with the mouse: a recording mode and
// interval chosen while Recording is on, then perhaps Real Monitoring.
void setControls(Ui::Widget *ui, uint8_t c)
{
    ui->radioButtonRecord->click();
    const int startMode = (c & 2) ? 1 : 0;
    ui->recmodecomboBox->setCurrentIndex(startMode);
    ui->dateTimeEditstarttime->setEnabled(startMode == 1);
    ui->sample_ratecomboBox->setCurrentIndex((c >> 2) & 15);
    if (c & 1)
        ui->radioButtonRealmonitoring->click();
}

void checkControls(Ui::Widget *ui, const Controls &before, const QByteArray &seen)
{
    const Controls now = Controls::of(ui);
    FUZZ_CHECK(now.record != now.monitoring, "not exactly one work mode is checked", seen);
    if (now.monitoring) {
        FUZZ_CHECK(!ui->recmodecomboBox->isEnabled() && !ui->sample_ratecomboBox->isEnabled()
                       && !ui->dateTimeEditstarttime->isEnabled(),
                   "Real Monitoring with record controls enabled", seen);
    } else {
        FUZZ_CHECK(ui->recmodecomboBox->isEnabled() && ui->sample_ratecomboBox->isEnabled(),
                   "Recording with its mode or interval disabled", seen);
        FUZZ_CHECK(ui->dateTimeEditstarttime->isEnabled() == (now.startMode == 1),
                   "start time editable other than for Timing Start", seen);
    }
    FUZZ_CHECK(now.startMode >= 0 && now.startMode <= 1, "recording mode index out of range",
               seen);
    FUZZ_CHECK(now.interval >= 0 && now.interval <= 15, "interval index out of range", seen);

    const QString shown = ui->lineEditSN->text();
    FUZZ_CHECK(shown == UartData.SerialNumber, "serial number shown is not the one read", seen);

    // A finished settings reply shows what it carries; everything else leaves
    // the controls alone.
    const fuzz::Verdict v = fuzz::judge(seen);
    const bool settings = v.logger && !v.longIncomplete && fuzz::at(seen, 2) == 0x1C;
    if (!settings) {
        FUZZ_CHECK(now.record == before.record && now.startMode == before.startMode
                       && now.interval == before.interval,
                   "record controls moved without a settings reply", seen);
        return;
    }
    const int mode = (fuzz::at(seen, 10) >> 5) & 3;
    if (mode == 1 || mode == 2)
        FUZZ_CHECK(now.record && now.startMode == mode - 1,
                   "settings reply not shown as its recording mode", seen);
    else
        FUZZ_CHECK(now.record == before.record && now.startMode == before.startMode,
                   "settings reply without a recording mode moved the work mode", seen);
    const int seconds = fuzz::be16(seen, 17);
    int index = -1;
    for (int i = 0; i < 16; ++i) {
        if (kIntervals[i] == seconds)
            index = i;
    }
    FUZZ_CHECK(now.interval == (index >= 0 ? index : before.interval),
               "settings reply shown with the wrong interval", seen);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzz::Kind table[4] = {fuzz::Kind::LoggerFrame, fuzz::Kind::Raw,
                                        fuzz::Kind::LoggerFrame, fuzz::Kind::RtuWithCrc};
    Widget *w = fuzz::window();
    Ui::Widget *ui = WidgetAccess::ui(w);
    fuzz::Reader in(data, size);
    const quint16 readItem = fuzz::readItemFrom(in);
    fuzz::resetReception(w, readItem);
    setControls(ui, in.byte());

    Controls last = Controls::of(ui);
    checkControls(ui, last, QByteArray());
    fuzz::run(w, readItem, in, table, [&](const QByteArray &seen) {
        checkControls(ui, last, seen);
        last = Controls::of(ui);
    });
    return 0;
}
