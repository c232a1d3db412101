#include "receivepathbench.h"

#include "machine.h"
#include "sacnmerger.h"
#include "sacnreceiver.h"
#include "sharedarea.h"
#include "universedataarea.h"
#include "recordrouter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <thread>

namespace {

// 256 universes at 44 frames a second.
constexpr double FullLoadRate = 11264;
constexpr int AllFirst = 0;
constexpr int AllLast = UniverseData::UniverseCount - 1;
constexpr int ProbeUniverse = 0;
constexpr int ToggleMs = 250;
constexpr double ReachedShare = 0.97;
// Beyond the receiver's own waits, before sACN is measured.
constexpr unsigned long QuietMarginMs = 250;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double percentile(std::vector<double> &sorted, double share)
{
    if (sorted.empty())
        return 0;
    const size_t index = std::min(sorted.size() - 1, size_t(share * double(sorted.size())));
    return sorted[index];
}

QByteArray thousands(double value)
{
    QByteArray digits = QByteArray::number(qint64(value + 0.5));
    for (int i = digits.size() - 3; i > 0 && digits[i - 1] != '-'; i -= 3)
        digits.insert(i, ',');
    return digits;
}

} // namespace

ReceivePathBench::ReceivePathBench(const Settings &settings)
    : settings(settings)
    , sender(DmxSender::Protocol::ArtNet, settings.receiver.artNetPort)
    , sacnSender(DmxSender::Protocol::Sacn, settings.receiver.sacnPort)
{
}

ReceivePathBench::~ReceivePathBench()
{
    stopReceiver();
}

void ReceivePathBench::Figures::add(const Loss &loss)
{
    lost.push_back(double(loss.sent - std::min(loss.sent, loss.received)));
    sent.push_back(double(loss.sent));
    cpuUs.push_back(loss.cpuPerPacketUs);
    cpuShare.push_back(loss.cpuShare * 100);
}

void ReceivePathBench::Figures::add(const Latency &idle, const Latency &loaded)
{
    idle50.push_back(idle.p50);
    idle99.push_back(idle.p99);
    idleMax.push_back(idle.max);
    load50.push_back(loaded.p50);
    load99.push_back(loaded.p99);
    loadMax.push_back(loaded.max);
    probeLost.push_back(idle.lost + loaded.lost);
}

bool ReceivePathBench::startReceiver(ArtNetMerge::Mode artNetMerge)
{
    receiver = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Debug output stays on, as the program ships; the default handler writes
    // it to standard error, which goes to the null device here.
    environment.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    if (environment.value(QStringLiteral("DISPLAY")).isEmpty() && !environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    receiver->setProcessEnvironment(environment);
    receiver->setStandardErrorFile(QProcess::nullDevice());
    receiver->start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--receiver"), QStringLiteral("--port"), QString::number(settings.receiver.artNetPort),
                     QStringLiteral("--sacn-port"), QString::number(settings.receiver.sacnPort), QStringLiteral("--artnet-merge"),
                     artNetMerge == ArtNetMerge::Mode::Htp ? QStringLiteral("htp") : QStringLiteral("latest"),
                     QStringLiteral("--state"), settings.publishState ? QStringLiteral("on") : QStringLiteral("off")});
    const QByteArray hello = command(QByteArray(), true);
    if (!hello.startsWith("ready ")) {
        std::fprintf(stderr, "bench: the receiver did not start: %s\n",
                     hello.isEmpty() ? "no answer" : hello.constData());
        return false;
    }
    receiveBuffer = hello.mid(6).toLongLong();
    return true;
}

void ReceivePathBench::stopReceiver()
{
    if (!receiver)
        return;
    if (receiver->state() == QProcess::Running) {
        command("quit", false);
        if (!receiver->waitForFinished(5000)) {
            receiver->kill();
            receiver->waitForFinished(2000);
        }
    }
    delete receiver;
    receiver = nullptr;
}

QByteArray ReceivePathBench::command(const QByteArray &line, bool expectAnswer)
{
    if (!line.isEmpty()) {
        receiver->write(line + '\n');
        receiver->waitForBytesWritten(2000);
    }
    if (!expectAnswer)
        return QByteArray();
    QElapsedTimer clock;
    clock.start();
    while (!receiver->canReadLine() && clock.elapsed() < 10000) {
        if (!receiver->waitForReadyRead(int(10000 - clock.elapsed())))
            break;
    }
    return receiver->readLine().trimmed();
}

std::vector<qint64> ReceivePathBench::numbers(const QByteArray &question, int count)
{
    const QList<QByteArray> words = command(question, true).split(' ');
    std::vector<qint64> values(std::size_t(count), 0);
    if (words.size() == count + 1 && words.first() == question) {
        for (int i = 0; i < count; ++i)
            values[std::size_t(i)] = words[i + 1].toLongLong();
    }
    return values;
}

ReceivePathBench::Usage ReceivePathBench::usage()
{
    const std::vector<qint64> words = numbers("usage", 3);
    return Usage{double(words[0] + words[1]) / 1e6, words[2]};
}

ReceivePathBench::SacnCount ReceivePathBench::sacnCount()
{
    const std::vector<qint64> words = numbers("sacn", 2);
    return SacnCount{std::uint64_t(words[0]), std::uint64_t(words[1])};
}

std::uint64_t ReceivePathBench::totalPackets()
{
    std::uint64_t total = 0;
    for (int u = AllFirst; u <= AllLast; ++u)
        total += host.port(u).packets;
    return total;
}

std::uint64_t ReceivePathBench::settledTotal(std::uint64_t before, std::uint64_t expected)
{
    // The receiver may still be draining its queue when the sender stops.
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer quiet;
    quiet.start();
    std::uint64_t last = totalPackets() - before;
    while (last < expected && quiet.elapsed() < 300 && clock.elapsed() < 10000) {
        QThread::msleep(10);
        const std::uint64_t now = totalPackets() - before;
        if (now != last)
            quiet.restart();
        last = now;
    }
    return last;
}

bool ReceivePathBench::dataMatches(const DmxSender &source, int first, int last)
{
    for (int u = first; u <= last; ++u) {
        const MonitorHost::Port port = host.port(u);
        if (!source.matches(u, port.channels, port.length))
            return false;
    }
    return true;
}

ReceivePathBench::Loss ReceivePathBench::measureLoss(DmxSender &source, double rate, double seconds,
                                                     Figures &figures)
{
    Loss loss;
    const std::uint64_t before = totalPackets();
    const Usage start = usage();
    QElapsedTimer clock;
    clock.start();
    loss.sent = source.run(rate, seconds, AllFirst, AllLast);
    const double sendSeconds = double(clock.nsecsElapsed()) / 1e9;
    loss.received = settledTotal(before, loss.sent);
    const double wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    const Usage end = usage();
    loss.achievedRate = double(loss.sent) / sendSeconds;
    if (loss.received > 0)
        loss.cpuPerPacketUs = (end.cpuSeconds - start.cpuSeconds) * 1e6 / double(loss.received);
    loss.cpuShare = (end.cpuSeconds - start.cpuSeconds) / wallSeconds;
    if (loss.received == loss.sent && !dataMatches(source, AllFirst, AllLast))
        figures.dataOk = false;
    return loss;
}

double ReceivePathBench::highestLosslessRate()
{
    auto lossless = [this](double rate, double *achieved) {
        const Loss loss = measureLoss(sender, rate, settings.stepSeconds, artNet);
        *achieved = loss.achievedRate;
        if (loss.received != loss.sent)
            rateLimit = "loss above";
        else if (loss.achievedRate < ReachedShare * rate)
            rateLimit = "sender limit";
        else
            return true;
        return false;
    };
    double best = 0, good = 0, bad = 0;
    for (double rate : {25000.0, 50000.0, 75000.0, 100000.0, 150000.0, 200000.0, 300000.0, 400000.0, 600000.0}) {
        double achieved = 0;
        if (!lossless(rate, &achieved)) {
            bad = rate;
            break;
        }
        good = rate;
        best = std::max(best, achieved);
    }
    // Two halvings of the gap between the last good and the first bad step.
    for (int round = 0; round < 2 && bad > 0; ++round) {
        const double rate = (good + bad) / 2;
        double achieved = 0;
        if (lossless(rate, &achieved)) {
            good = rate;
            best = std::max(best, achieved);
        } else {
            bad = rate;
        }
    }
    return best;
}

ReceivePathBench::Latency ReceivePathBench::measureLatency(DmxSender &source, bool underLoad, Figures &figures)
{
    // Under load the other 255 universes carry the rest of the full load of
    // every source from a second socket in a thread of its own, which goes on
    // with the streams of those universes and hands them back.
    std::atomic<bool> stop(false);
    std::thread load;
    if (underLoad) {
        load = std::thread([&source, &stop]() {
            DmxSender background(source.protocol(), source.port());
            background.setSources(source.sources());
            background.carryOn(source, AllFirst + 1, AllLast);
            background.run(FullLoadRate * source.sources() * AllLast / (AllLast + 1), 1e9, AllFirst + 1, AllLast,
                           &stop);
            source.carryOn(background, AllFirst + 1, AllLast);
        });
        QThread::msleep(200);
    }
    using Clock = std::chrono::steady_clock;
    std::vector<double> micros;
    Latency result;
    for (int i = 0; i < settings.probes; ++i) {
        const std::uint32_t before = host.port(ProbeUniverse).packets;
        const Clock::time_point sent = Clock::now();
        if (!source.sendOne(ProbeUniverse))
            break;
        Clock::time_point seen = sent;
        bool moved = false;
        // Spin briefly, then poll with short sleeps: on a machine of few cores
        // a reader that spins all the time takes the core the receiver needs.
        while (!moved && seen - sent < std::chrono::milliseconds(100)) {
            if (seen - sent > std::chrono::microseconds(200))
                std::this_thread::sleep_for(std::chrono::microseconds(10));
            seen = Clock::now();
            moved = host.port(ProbeUniverse).packets != before;
        }
        if (moved)
            micros.push_back(std::chrono::duration<double, std::micro>(seen - sent).count());
        else
            ++result.lost;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    if (load.joinable())
        load.join();
    std::sort(micros.begin(), micros.end());
    result.p50 = percentile(micros, 0.50);
    result.p99 = percentile(micros, 0.99);
    result.max = micros.empty() ? 0 : micros.back();
    if (!dataMatches(source, ProbeUniverse, ProbeUniverse))
        figures.dataOk = false;
    return result;
}

void ReceivePathBench::measureArtNet()
{
    command("window steady", false);
    artNet.add(measureLoss(sender, FullLoadRate, settings.lossSeconds, artNet));

    command("window toggle " + QByteArray::number(ToggleMs), false);
    const Loss toggled = measureLoss(sender, FullLoadRate, settings.lossSeconds, artNet);
    command("window steady", false);
    toggledLoss.push_back(double(toggled.sent - std::min(toggled.sent, toggled.received)));
    toggledSent.push_back(double(toggled.sent));

    const Latency idle = measureLatency(sender, false, artNet);
    const Latency loaded = measureLatency(sender, true, artNet);
    artNet.add(idle, loaded);

    highest.push_back(highestLosslessRate());
}

bool ReceivePathBench::measureArtNetMerge()
{
    // Two senders on every universe, merged by a receiver of their own.
    stopReceiver();
    if (!startReceiver(ArtNetMerge::Mode::Htp))
        return false;
    sender.setSources(2);
    artNetMerged.add(measureLoss(sender, FullLoadRate * 2, settings.lossSeconds, artNetMerged));
    sender.setSources(1);
    stopReceiver();
    return startReceiver();
}

void ReceivePathBench::measureSacn(int sources)
{
    sacnSender.setSources(sources);
    Figures &figures = sacn[sources - 1];
    const SacnCount before = sacnCount();
    const Loss loss = measureLoss(sacnSender, FullLoadRate * sources, settings.lossSeconds, figures);
    figures.add(loss);
    if (loss.received != loss.sent) {
        // Whether the socket dropped them, or the receiver took them and its
        // merge or the mapper wrote nothing.
        const SacnCount after = sacnCount();
        std::fprintf(stderr,
                     "bench: sACN, %d source(s): %s of %s packets lost; the receiver read %s, its merge wrote %s\n",
                     sources, thousands(double(loss.sent - std::min(loss.sent, loss.received))).constData(),
                     thousands(double(loss.sent)).constData(),
                     thousands(double(after.datagrams - before.datagrams)).constData(),
                     thousands(double(after.written - before.written)).constData());
    }
    if (settings.artNet && artNet.cpuUs.back() > 0)
        sacnRatio[sources - 1].push_back(loss.cpuPerPacketUs / artNet.cpuUs.back());

    const Latency idle = measureLatency(sacnSender, false, figures);
    const Latency loaded = measureLatency(sacnSender, true, figures);
    figures.add(idle, loaded);
}

int ReceivePathBench::run()
{
    if (!sender.isOpen() || !sacnSender.isOpen()) {
        std::fprintf(stderr, "bench: cannot open a UDP socket\n");
        return 1;
    }
    // A running program would write into the same records and spoil every count.
    if (SharedArea::exists()) {
        std::fprintf(stderr, "bench: the universe data area exists already: stop the program (or test) that "
                             "holds it first\n");
        return 1;
    }
    if (!startReceiver())
        return 1;
    if (!host.load(settings.library.toStdString()) || host.detect().empty() || !host.connect()) {
        std::fprintf(stderr, "bench: cannot read through the driver library %s: %s\n",
                     qPrintable(settings.library), host.errorString().c_str());
        return 1;
    }

    for (int round = 0; round < settings.repeat; ++round) {
        std::fprintf(stderr, "bench: round %d of %d\n", round + 1, settings.repeat);
        if (settings.artNet) {
            measureArtNet();
            if (!measureArtNetMerge())
                return 1;
        }
        if (!settings.sacn)
            continue;
        // The router leaves a record to Art-Net for a while after its last
        // ArtDmx, and the merge keeps the second source of the round before
        // until it has been silent long enough.
        if (settings.artNet)
            QThread::msleep(RecordRouter::ArtNetHoldMs + QuietMarginMs);
        else if (round > 0)
            QThread::msleep(SacnMerger::NetworkDataLossMs + SacnReceiver::ExpiryIntervalMs + QuietMarginMs);
        for (int sources = 1; sources <= DmxSender::MaxSources; ++sources)
            measureSacn(sources);
    }
    const Usage final = usage();
    stopReceiver();
    printTable(final);
    return 0;
}

void ReceivePathBench::printTable(const Usage &final) const
{
    const QByteArray platform = qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb";
    if (settings.artNet)
        std::printf("Receive path: artnet sender -> engine -> mapper -> router -> area -> driver library, loopback; "
                    "2 senders from 127.0.0.1 and 127.0.0.2 to a receiver that merges HTP\n");
    if (settings.sacn)
        std::printf("Receive path: sACN sender -> receiver -> mapper -> area -> driver library, loopback; unicast to "
                    "port %u, universe %u feeds record 0, 1 or 2 sources at priority %u on every universe\n",
                    unsigned(settings.receiver.sacnPort), unsigned(Sacn::MinUniverse), unsigned(Sacn::DefaultPriority));
    std::printf("Machine: %s, %d logical CPUs; Qt %s; receiver platform %s; debug output on (to the null "
                "device); receive buffer %s bytes; state published for monitors: %s; %d round(s), medians\n\n",
                qPrintable(cpuModel()), QThread::idealThreadCount(), qVersion(), platform.constData(),
                thousands(double(receiveBuffer)).constData(), settings.publishState ? "yes" : "no", settings.repeat);
    std::printf("| %-68s | %-34s | %-14s |\n", "Measure", "Result", "Target");
    std::printf("|%s|%s|%s|\n", QByteArray(70, '-').constData(), QByteArray(36, '-').constData(),
                QByteArray(16, '-').constData());
    auto row = [](const QString &measure, const QByteArray &result, const char *target) {
        std::printf("| %-68s | %-34s | %-14s |\n", qPrintable(measure), result.constData(), target);
    };
    auto lossOf = [](const std::vector<double> &lost, const std::vector<double> &sent) {
        return thousands(median(lost)) + " of " + thousands(median(sent));
    };
    auto microseconds = [](const std::vector<double> &p50, const std::vector<double> &p99,
                           const std::vector<double> &max) {
        return QByteArray::number(median(p50), 'f', 0) + " / " + QByteArray::number(median(p99), 'f', 0) + " / "
            + QByteArray::number(median(max), 'f', 0) + " us";
    };
    auto cpu = [](const Figures &figures) {
        return QByteArray::number(median(figures.cpuUs), 'f', 2) + " us ("
            + QByteArray::number(median(figures.cpuShare), 'f', 1) + " % of a core)";
    };
    const QString lossSeconds = QString::number(settings.lossSeconds);

    if (settings.artNet) {
        row(QStringLiteral("Highest sustained rate with no loss (packets/s)"),
            thousands(median(highest)) + " (" + QByteArray::number(settings.stepSeconds, 'g', 3) + " s steps, "
                + rateLimit + ")",
            ">= 100,000");
        row(QStringLiteral("Loss at 11,264 packets/s over %1 s, window shown").arg(lossSeconds),
            lossOf(artNet.lost, artNet.sent), "0");
        row(QStringLiteral("Loss at 11,264 packets/s over %1 s, window shown/hidden every %2 ms")
                .arg(lossSeconds)
                .arg(ToggleMs),
            lossOf(toggledLoss, toggledSent), "0");
        row(QStringLiteral("Latency send -> packetCount moves, idle: p50 / p99 / max"),
            microseconds(artNet.idle50, artNet.idle99, artNet.idleMax), "p99 < 1,000 us");
        row(QStringLiteral("Latency, other 255 universes at full load: p50 / p99 / max"),
            microseconds(artNet.load50, artNet.load99, artNet.loadMax), "p99 < 1,000 us");
        row(QStringLiteral("Receiver CPU time per packet at 11,264 packets/s"), cpu(artNet), "");
    }
    if (settings.artNet) {
        row(QStringLiteral("Art-Net, 2 senders merged HTP: loss at 22,528 packets/s over %1 s").arg(lossSeconds),
            lossOf(artNetMerged.lost, artNetMerged.sent), "0");
        row(QStringLiteral("Art-Net, 2 senders merged HTP: receiver CPU time per packet"), cpu(artNetMerged), "");
    }
    if (settings.sacn) {
        for (int sources = 1; sources <= DmxSender::MaxSources; ++sources) {
            const Figures &figures = sacn[sources - 1];
            const QString who = sources == 1 ? QStringLiteral("sACN, 1 source: ")
                                             : QStringLiteral("sACN, %1 sources: ").arg(sources);
            row(who + QStringLiteral("loss at %1 packets/s over %2 s, window shown")
                          .arg(QString::fromLatin1(thousands(FullLoadRate * sources)), lossSeconds),
                lossOf(figures.lost, figures.sent), "0");
            row(who + QStringLiteral("latency idle: p50 / p99 / max"),
                microseconds(figures.idle50, figures.idle99, figures.idleMax), "p99 < 1,000 us");
            row(who + QStringLiteral("latency, other universes loaded: p50 / p99 / max"),
                microseconds(figures.load50, figures.load99, figures.loadMax), "p99 < 1,000 us");
            row(who + QStringLiteral("receiver CPU time per packet"), cpu(figures), "");
            if (settings.artNet)
                row(who + QStringLiteral("CPU per packet / Art-Net's, same round"),
                    QByteArray::number(median(sacnRatio[sources - 1]), 'f', 2), "<= 1.5");
        }
    }
    row(QStringLiteral("Receiver peak memory (resident)"), thousands(double(final.peakKiB)) + " KiB", "");
    if (settings.artNet)
        row(QStringLiteral("Channels read through the library = last packet sent, or HTP of two"),
            artNet.dataOk && artNetMerged.dataOk ? "yes" : "NO", "yes");
    if (settings.sacn)
        row(QStringLiteral("sACN: channels read through the library = merge of last packets"),
            std::all_of(std::begin(sacn), std::end(sacn), [](const Figures &f) { return f.dataOk; }) ? "yes" : "NO",
            "yes");

    double probesLost = settings.artNet ? median(artNet.probeLost) : 0;
    if (settings.sacn) {
        for (const Figures &figures : sacn)
            probesLost += median(figures.probeLost);
    }
    if (probesLost > 0)
        std::printf("\n%s latency probes were not seen within 100 ms and are left out.\n",
                    thousands(probesLost).constData());
}
