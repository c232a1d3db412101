#include "benchreceiver.h"

#include "artnetengine.h"
#include "sacnreceiver.h"
#include "universemapper.h"

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

BenchReceiver::BenchReceiver(quint16 artNetPort, quint16 sacnPort)
    : engine(new ArtNetEngine(QHostAddress(QStringLiteral("127.0.0.1")), artNetPort, 6, true))
    , sacn(new SacnReceiver(QHostAddress(QStringLiteral("127.0.0.1")), sacnPort, this))
    , mapper(new UniverseMapper(this))
    , window(new QMainWindow)
    , toggleTimer(new QTimer(this))
    , input(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{
    engine->setShortName(QStringLiteral("bench"));
    // Offered as the program offers them: every ArtDmx is noted for GoodOutput.
    QVector<quint16> universes;
    for (int u = 0; u < UniverseData::UniverseCount; ++u)
        universes << quint16(u);
    engine->setOutputUniverses(universes);
    // As the program's default: universe 1 feeds record 0.
    sacn->setFirstUniverse(Sacn::MinUniverse);
    sacn->setRecords(universes);
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
    delete engine;
}

bool BenchReceiver::start()
{
    if (!engine->start()) {
        answer("failed the port is taken");
        return false;
    }
    connect(engine, SIGNAL(receivedArtDmx(const ArtDmx &, const QHostAddress &, const quint16 &)), mapper,
            SLOT(processArtDmx(const ArtDmx &, const QHostAddress &, const quint16 &)));
    connect(sacn, SIGNAL(receivedLevels(const SacnLevels &)), mapper, SLOT(processSacnLevels(const SacnLevels &)));
    if (!sacn->start()) {
        answer("failed the sACN port is taken");
        return false;
    }
    window->show();
    answer("ready " + QByteArray::number(engine->receiveBufferSize()));
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
            const SacnReceiver::Counters &counters = sacn->counters();
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
