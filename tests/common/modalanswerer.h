#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QAbstractButton;
class QWidget;

// The three ways a user leaves a dialog.
enum class Leave { Ok, Escape, CloseButton };
Q_DECLARE_METATYPE(Leave)

// A data column "leave" with a row for each way.
void addLeaveRows();

// Leaves the dialog as a user would: its Ok button, the Escape key or the
// window's close button.
void leaveDialog(QWidget *dialog, QAbstractButton *okButton, Leave leave);

// What a message box showed when it was answered.
struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    bool hasParent;
};

// Answers the modal dialogs that the code under test runs in nested event
// loops of its own (the address dialog inside the window's constructor, the
// message boxes, the About box): every modal widget that becomes active is
// handed once to the handler, which is expected to close it.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(QWidget *dialog)>;

    explicit ModalAnswerer(Handler handler, QObject *parent = nullptr);
    // Notes every message box in `seen` and presses its Ok button (rejects one
    // without); other dialogs go to `others` when given.
    explicit ModalAnswerer(QList<SeenBox> *seen, Handler others = nullptr, QObject *parent = nullptr);

    int answered() const { return count; }

private slots:
    void poll();

private:
    Handler handler;
    QTimer timer;
    QPointer<QWidget> last;
    int count = 0;
};

#endif // MODALANSWERER_H
