#include "modalanswerer.h"

#include <QApplication>
#include <QWidget>

ModalAnswerer::ModalAnswerer(Handler handler, QObject *parent)
    : QObject(parent), handler(std::move(handler))
{
    connect(&timer, SIGNAL(timeout()), this, SLOT(poll()));
    timer.start(10);
}

void ModalAnswerer::poll()
{
    QWidget *dialog = QApplication::activeModalWidget();
    if (!dialog || dialog == last || !dialog->isVisible())
        return;
    last = dialog;
    ++count;
    handler(dialog);
}
