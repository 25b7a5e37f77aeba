#include "modaldriver.h"

#include <algorithm>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMetaObject>
#include <QWidget>
#include <QtTest>

namespace {

constexpr int PollMs = 10;

// A popup menu sits above any modal dialog that opened it.
QWidget *topModalWidget()
{
    if (QWidget *popup = QApplication::activePopupWidget())
        return popup;
    return QApplication::activeModalWidget();
}

} // namespace

ModalDriver::ModalDriver(const QMetaObject &dialogClass, Action action, int timeoutMs)
    : expected(dialogClass)
    , act(std::move(action))
    , ticksLeft(std::max(1, timeoutMs / PollMs))
{
    timer.setInterval(PollMs);
    connect(&timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer.start();
}

ModalDriver::~ModalDriver() = default;

void ModalDriver::acceptFileDialog(QFileDialog *dialog, const QStringList &paths)
{
    if (!paths.isEmpty()) {
        // Several names are typed in double quotes, one after the other.
        const QString text = paths.size() == 1
                                 ? paths.first()
                                 : QLatin1Char('"') + paths.join(QStringLiteral("\" \""))
                                       + QLatin1Char('"');
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(text);
    }
    // QFileDialog::accept() is protected; its checks run through QDialog's.
    static_cast<QDialog *>(dialog)->accept();
}

bool ModalDriver::wait()
{
    while (!acted && !gaveUp)
        QTest::qWait(PollMs);
    return acted;
}

void ModalDriver::poll()
{
    if (gaveUp) {
        closeEverything();
        return;
    }
    QWidget *widget = topModalWidget();
    if (widget && widget->isVisible() && widget->metaObject()->inherits(&expected)) {
        timer.stop();
        acted = true;
        // The action may open a nested dialog of its own; another driver answers that.
        act(widget);
        return;
    }
    if (--ticksLeft > 0)
        return;
    gaveUp = true;
    missing = QStringLiteral("no %1 appeared").arg(QLatin1String(expected.className()));
    if (widget) {
        missing += QStringLiteral("; %1 \"%2\" was open instead")
                       .arg(QLatin1String(widget->metaObject()->className()),
                            widget->windowTitle());
    }
    qWarning("%s", qPrintable(missing));
    closeEverything();
}

// One widget a tick: closing one may let its opener open the next.
void ModalDriver::closeEverything()
{
    QWidget *widget = topModalWidget();
    if (!widget) {
        timer.stop();
        return;
    }
    if (auto *dialog = qobject_cast<QDialog *>(widget))
        dialog->reject();
    else
        widget->close();
}
