#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TModalDriver::TModalDriver(int TimeoutMs, QObject* Parent) : QObject(Parent), FTimeoutMs(TimeoutMs) {
    FTimer = new QTimer(this);
    FTimer->setInterval(5);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });
    FClock.start();
    FTimer->start();
}

TModalDriver::~TModalDriver() {
    if (FLast)
        FLast->removeEventFilter(this);
}

TModalDriver& TModalDriver::Then(TStep Step) {
    FSteps.push_back(std::move(Step));
    return *this;
}

bool TModalDriver::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FLast && Event->type() == QEvent::Hide)
        FLastHidden = true;
    return false;
}

void TModalDriver::Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (FSteps.empty()) {
        FTimer->stop();
        return;
    }
    if (FClock.elapsed() > FTimeoutMs) {
        FTimedOut = true;
        FTimer->stop();
        ADD_FAILURE() << "Modal driver timed out with " << FSteps.size() << " step(s) left";
        if (auto* d = qobject_cast<QDialog*>(modal))
            d->reject();
        else if (modal)
            modal->close();
        return;
    }
    if (!modal || !modal->isVisible() || (modal == FLast && !FLastHidden))
        return;
    if (FLast)
        FLast->removeEventFilter(this);
    FLast = modal;
    FLastHidden = false;
    modal->installEventFilter(this);
    FTitles.append(modal->windowTitle());
    TStep step = std::move(FSteps.front());
    FSteps.pop_front();
    ++FHandled;
    step(modal);
}

void TModalDriver::ReportWrongDialog(QWidget* W, const char* Expected) {
    ADD_FAILURE() << "Expected a " << Expected << " dialog, got "
                  << (W ? W->metaObject()->className() : "none");
    if (auto* d = qobject_cast<QDialog*>(W))
        d->reject();
}

TModalDriver::TStep TModalDriver::Accept() {
    return [](QWidget* W) {
        if (auto* d = qobject_cast<QDialog*>(W))
            d->accept();
    };
}

TModalDriver::TStep TModalDriver::Reject() {
    return [](QWidget* W) {
        if (auto* d = qobject_cast<QDialog*>(W))
            d->reject();
    };
}

TModalDriver::TStep TModalDriver::PressKey(int Key) {
    return [Key](QWidget* W) {
        QWidget* target = W->focusWidget() ? W->focusWidget() : W;
        QTest::keyClick(target, Qt::Key(Key));
    };
}

TModalDriver::TStep TModalDriver::ClickButton(const QString& Text) {
    return [Text](QWidget* W) {
        for (auto* b : W->findChildren<QAbstractButton*>()) {
            if (b->text().remove(u'&') == Text) {
                b->click();
                return;
            }
        }
        ADD_FAILURE() << "No button " << Text.toStdString() << " in " << W->windowTitle().toStdString();
        if (auto* d = qobject_cast<QDialog*>(W))
            d->reject();
    };
}
