#include "filelist/WorkDialog.h"

#include "filelist/BackgroundWork.h"
#include "ui/ProgressDialog.h"

#include <QTimer>
#include <QWidget>

namespace {

constexpr int refreshMs = 100;

} // namespace

WorkDialog::WorkDialog(BackgroundWork *work, QWidget *window)
    : QObject(window)
    , work(work)
    , window(window)
{
    connect(work, &BackgroundWork::slow, this, &WorkDialog::show);
    connect(work, &BackgroundWork::ended, this, &WorkDialog::close);
}

void WorkDialog::show(const QString &labelText, const QString &detail)
{
    auto *shown = new ProgressDialog(labelText, window->window());
    dialog = shown;
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->setDetail(detail);
    connect(shown, &ProgressDialog::cancelRequested, work, &BackgroundWork::cancel);
    // The worker only reports into shared memory; the dialog looks now and then.
    auto *refresher = new QTimer(shown);
    const auto refresh = [shown, work = work] {
        const int percent = work->percent();
        shown->setRange(0, percent < 0 ? 0 : 100);
        if (percent >= 0)
            shown->setValue(percent);
    };
    connect(refresher, &QTimer::timeout, shown, refresh);
    refresher->start(refreshMs);
    refresh();
    shown->show();
}

void WorkDialog::close()
{
    if (!dialog)
        return;
    dialog->disconnect(work);
    dialog->close();
}
