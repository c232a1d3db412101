#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QWidget;

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
