#pragma once
// The stop key: stops the device from every window of the program, with a dialog or a box open,
// and during a wait for an answer. A function key, so that it is never typed into a value.
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class TStopKey : public QObject {
public:
    static constexpr int Key = Qt::Key_F12;
    // Its name as the hints and the manual write it.
    static QString KeyName();

    // Watches the whole application for Window, which owns it.
    TStopKey(QWidget* Window, std::function<void()> Stop);
    ~TStopKey() override;
    TStopKey(const TStopKey&) = delete;
    TStopKey& operator=(const TStopKey&) = delete;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    bool Reaches(const QWidget* Receiver) const;

    const QWidget* FOwner; // only compared: gone already when this is destroyed with it
    QPointer<QWidget> FWindow;
    std::function<void()> FStop;
};
