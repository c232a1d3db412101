#include "benchreceiver.h"

#include "artnetengine.h"
#include "receivepipeline.h"
#include "sacnreceiver.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QLabel>
#include <QMainWindow>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

BenchReceiver::BenchReceiver(const ReceiveOptions &options, bool publishState)
    : pipeline(new ReceivePipeline(options, this))
    , publishState(publishState)
    , window(new QMainWindow)
    , toggleTimer(new QTimer(this))
    , input(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{
    pipeline->engine()->setShortName(QStringLiteral("bench"));
    // A window with the kind of content the program shows: text and a status line.
    QLabel *text = new QLabel(QStringLiteral("Receives Art-Net and writes every ArtDmx into the universe data "
                                             "area, where the driver library finds it."));
    text->setWordWrap(true);
    window->setCentralWidget(text);
    window->statusBar()->showMessage(QStringLiteral("ArtNet engine running on: 127.0.0.1"));
    window->resize(420, 220);
    connect(toggleTimer, SIGNAL(timeout()), this, SLOT(toggleWindow()));
    connect(input, SIGNAL(activated(QSocketDescriptor)), this, SLOT(readCommand()));
}

BenchReceiver::~BenchReceiver()
{
    delete window;
}

bool BenchReceiver::start()
{
    if (!pipeline->startArtNet()) {
        answer("failed the port is taken");
        return false;
    }
    pipeline->linkArea(this);
    if (!pipeline->startSacn()) {
        answer("failed the sACN port is taken");
        return false;
    }
    if (publishState && !pipeline->publishState()) {
        answer("failed the state section cannot be made");
        return false;
    }
    window->show();
    answer("ready " + QByteArray::number(pipeline->engine()->receiveBufferSize()));
    return true;
}

void BenchReceiver::readCommand()
{
    char chunk[256];
    const ssize_t size = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (size <= 0) {
        // The benchmark went away: nothing more to do.
        input->setEnabled(false);
        QCoreApplication::quit();
        return;
    }
    pending.append(chunk, int(size));
    for (int end; (end = pending.indexOf('\n')) >= 0;) {
        const QList<QByteArray> words = pending.left(end).trimmed().split(' ');
        pending.remove(0, end + 1);
        if (words.value(0) == "window" && words.value(1) == "toggle") {
            toggleTimer->start(qMax(1, words.value(2).toInt()));
        } else if (words.value(0) == "window" && words.value(1) == "steady") {
            toggleTimer->stop();
            window->show();
        } else if (words.value(0) == "usage") {
            rusage usage = {};
            getrusage(RUSAGE_SELF, &usage);
            answer("usage " + QByteArray::number(qint64(usage.ru_utime.tv_sec) * 1000000 + usage.ru_utime.tv_usec)
                   + " " + QByteArray::number(qint64(usage.ru_stime.tv_sec) * 1000000 + usage.ru_stime.tv_usec)
                   + " " + QByteArray::number(qint64(usage.ru_maxrss)));
        } else if (words.value(0) == "sacn") {
            const SacnReceiver::Counters &counters = pipeline->sacnReceiver()->counters();
            answer("sacn " + QByteArray::number(counters.datagrams) + " "
                   + QByteArray::number(counters[SacnMerger::Outcome::Written]));
        } else if (words.value(0) == "quit") {
            QCoreApplication::quit();
        }
    }
}

void BenchReceiver::toggleWindow()
{
    window->setVisible(!window->isVisible());
}

void BenchReceiver::answer(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
