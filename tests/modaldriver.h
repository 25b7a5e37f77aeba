#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>
#include <QTimer>

class QFileDialog;
class QStringList;
class QWidget;
struct QMetaObject;

// Answers a modal dialog, or a popup menu, from a timer: exec() blocks the
// code that opened it, so a test arms a driver first and then presses the
// button that opens the dialog. The driver polls for a visible modal widget of
// the expected class and runs its action once on it. When none appears within
// the bound it records what was open instead and closes every modal widget and
// popup, so a missing or unexpected dialog fails the test and never hangs it.
class ModalDriver final : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 10000;

    using Action = std::function<void(QWidget *)>;

    ModalDriver(const QMetaObject &expected, Action act, int timeoutMs = DefaultTimeoutMs);
    ~ModalDriver() override;

    // The typed form: ModalDriver::expect<QMessageBox>([](QMessageBox *box) { ... }).
    template <class T>
    static std::unique_ptr<ModalDriver> expect(std::function<void(T *)> act,
                                               int timeoutMs = DefaultTimeoutMs)
    {
        return std::make_unique<ModalDriver>(
            T::staticMetaObject, [act](QWidget *widget) { act(static_cast<T *>(widget)); },
            timeoutMs);
    }

    // Accepts a file dialog as if the user had typed the paths into its name
    // field; with none, accepts what the dialog proposes.
    static void acceptFileDialog(QFileDialog *dialog, const QStringList &paths = {});

    bool handled() const { return acted; }
    // Processes events until the action has run or the bound has passed; true
    // when the action ran. For dialogs that open later, e.g. at a thread's end.
    bool wait();
    // What was open when the bound passed, for a failure message.
    QString failure() const { return missing; }

private:
    void poll();
    void closeEverything();

    const QMetaObject &expected;
    Action act;
    QTimer timer;
    int ticksLeft;
    bool acted = false;
    bool gaveUp = false;
    QString missing;
};
