#pragma once
// Answers modal dialogs from a timer while the code under test runs them with exec(). Steps run
// in order, one per modal dialog that appears; a dialog that is still open after the timeout is
// rejected so that a failing test cannot hang.
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>

class QTimer;

class TModalDriver : public QObject {
    Q_OBJECT
public:
    using TStep = std::function<void(QWidget* Modal)>;

    explicit TModalDriver(int TimeoutMs = 10000, QObject* Parent = nullptr);
    ~TModalDriver() override;

    TModalDriver& Then(TStep Step);
    // The dialog must be of class T (found with qobject_cast); a different one fails the test.
    template <class T> TModalDriver& ThenAs(std::function<void(T*)> Step) {
        return Then([Step](QWidget* W) { Step(Checked<T>(W)); });
    }

    int Handled() const { return FHandled; }
    bool Done() const { return FSteps.empty(); }
    bool TimedOut() const { return FTimedOut; }
    // Window titles of the dialogs answered so far.
    const QStringList& Titles() const { return FTitles; }

    // Ready-made steps.
    static TStep Accept();
    static TStep Reject();
    static TStep PressKey(int Key); // to the dialog's focus widget (Enter, Escape, ...)
    static TStep ClickButton(const QString& Text);

private:
    template <class T> static T* Checked(QWidget* W) {
        T* t = qobject_cast<T*>(W);
        if (!t)
            ReportWrongDialog(W, T::staticMetaObject.className());
        return t;
    }
    static void ReportWrongDialog(QWidget* W, const char* Expected);
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void Tick();

    std::deque<TStep> FSteps;
    QTimer* FTimer = nullptr;
    QElapsedTimer FClock;
    int FTimeoutMs;
    int FHandled = 0;
    bool FTimedOut = false;
    QPointer<QWidget> FLast;
    bool FLastHidden = true;
    QStringList FTitles;
};
