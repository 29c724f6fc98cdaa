#include "busy.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace
{
int shown = 0;
}

int &Busy::delayMs()
{
    static int ms = 1000;
    return ms;
}

int Busy::shownCount()
{
    return shown;
}

void Busy::run(QWidget *parent, const QString &label, const std::function<void()> &work)
{
    QThread *thread = QThread::create(work);
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    // No cancel: the work cannot be stopped half-way without losing what
    // it read, and it always ends.
    QProgressDialog progress(label, QString(), 0, 0, parent);
    progress.setWindowTitle(QStringLiteral("请稍候"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.reset();
    progress.hide();
    QTimer late;
    late.setSingleShot(true);
    QObject::connect(&late, &QTimer::timeout, &progress, [&progress] {
        ++shown;
        progress.show();
    });
    QWidget *window = parent ? parent->window() : nullptr;
    const bool wasEnabled = window && window->isEnabled();
    if (wasEnabled)
        window->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    thread->start();
    late.start(delayMs());
    // The finished signal is queued to this thread, so it is heard even
    // when the work ends before the loop starts.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread->wait();
    delete thread;
    late.stop();
    progress.hide();
    QApplication::restoreOverrideCursor();
    if (wasEnabled)
        window->setEnabled(true);
}
