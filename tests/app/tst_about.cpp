#include "dorvantis.h"
#include "modalanswerer.h"
#include "programsettingstest.h"
#include "testwindow.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

QSize pixmapSize(const QLabel *label)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return label->pixmap().size();
#else
    return label->pixmap(Qt::ReturnByValue).size();
#endif
}

QAction *aboutAction(dorvantis &window)
{
    return window.menuBar()->actions().at(1)->menu()->actions().at(0);
}

} // namespace

class tst_about : public ProgramSettingsTest
{
    Q_OBJECT

private slots:
    void boxShowsPictureNameAndVersion();
    void eachOpeningBuildsAFreshBoxThatEndsLikeOk_data();
    void eachOpeningBuildsAFreshBoxThatEndsLikeOk();
};

void tst_about::boxShowsPictureNameAndVersion()
{
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    window->show();

    ModalAnswerer answerer([&](QWidget *dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("About"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Veldara Dorvantis"));
        // A window of its own, not placed over the main window.
        QVERIFY(!dialog->parentWidget());

        auto *version = dialog->findChild<QLabel *>(QStringLiteral("version"));
        QVERIFY(version);
        QCOMPARE(version->text(), QStringLiteral("Version 1.3"));
        QCOMPARE(version->textFormat(), Qt::PlainText);

        auto *picture = dialog->findChild<QLabel *>(QStringLiteral("label"));
        QVERIFY(picture);
        QCOMPARE(pixmapSize(picture), QSize(120, 100));

        auto *title = dialog->findChild<QLabel *>(QStringLiteral("label_2"));
        QVERIFY(title && title->text().contains(QLatin1String(">Dorvantis<")));
        auto *contact = dialog->findChild<QLabel *>(QStringLiteral("label_3"));
        QVERIFY(contact && contact->openExternalLinks());
        QVERIFY(contact->text().contains(QLatin1String("mailto:")));

        QVERIFY(dialog->width() >= 447 && dialog->height() >= 225);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
    });

    aboutAction(*window)->trigger();
    QCOMPARE(answerer.answered(), 1);
    QVERIFY(window->isVisible());
}

void tst_about::eachOpeningBuildsAFreshBoxThatEndsLikeOk_data()
{
    addLeaveRows();
}

void tst_about::eachOpeningBuildsAFreshBoxThatEndsLikeOk()
{
    QFETCH(Leave, leave);
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    window->show();

    QList<QPointer<QWidget>> boxes;
    ModalAnswerer answerer([&](QWidget *dialog) {
        // The previous box is gone before the next one opens.
        for (const QPointer<QWidget> &earlier : boxes)
            QVERIFY(earlier.isNull());
        boxes << dialog;
        leaveDialog(dialog, dialog->findChild<QPushButton *>(QStringLiteral("okButton")), leave);
    });

    aboutAction(*window)->trigger();
    aboutAction(*window)->trigger();

    QCOMPARE(boxes.size(), 2);
    QVERIFY(boxes[0].isNull() && boxes[1].isNull());
    QVERIFY(window->isVisible());
    QVERIFY(!window->findChild<QDialog *>());
}

QTEST_MAIN(tst_about)
#include "tst_about.moc"
