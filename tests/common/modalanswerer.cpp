#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QWidget>

void addLeaveRows()
{
    QTest::addColumn<Leave>("leave");
    QTest::newRow("ok") << Leave::Ok;
    QTest::newRow("escape") << Leave::Escape;
    QTest::newRow("close button") << Leave::CloseButton;
}

void leaveDialog(QWidget *dialog, QAbstractButton *okButton, Leave leave)
{
    switch (leave) {
    case Leave::Ok:
        QTest::mouseClick(okButton, Qt::LeftButton);
        break;
    case Leave::Escape:
        QTest::keyClick(dialog, Qt::Key_Escape);
        break;
    case Leave::CloseButton:
        dialog->close();
        break;
    }
}

ModalAnswerer::ModalAnswerer(Handler handler, QObject *parent)
    : QObject(parent), handler(std::move(handler))
{
    connect(&timer, SIGNAL(timeout()), this, SLOT(poll()));
    timer.start(10);
}

ModalAnswerer::ModalAnswerer(QList<SeenBox> *seen, Handler others, QObject *parent)
    : ModalAnswerer(
          [seen, others](QWidget *dialog) {
              auto *box = qobject_cast<QMessageBox *>(dialog);
              if (!box) {
                  if (others)
                      others(dialog);
                  return;
              }
              seen->append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                            box->parentWidget() != nullptr});
              if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                  ok->click();
              else
                  box->reject();
          },
          parent)
{
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
