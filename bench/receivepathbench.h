#ifndef RECEIVEPATHBENCH_H
#define RECEIVEPATHBENCH_H

// Measures the whole receive path: this process sends ArtDmx, sACN data
// packets or both over loopback to a receiving process (BenchReceiver), whose
// engine, sACN receiver and mapper write the universe data area, and reads the
// area back through the driver library as a visualiser host does. Prints one
// table.

#include "dmxsender.h"
#include "monitorhost.h"
#include "receiveoptions.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class QProcess;

class ReceivePathBench
{
public:
    struct Settings
    {
        // The receiving process's address, ports and Art-Net merge mode.
        ReceiveOptions receiver;
        bool artNet = true, sacn = true;
        QString library;
        double stepSeconds = 5, lossSeconds = 30;
        int probes = 3000, repeat = 1;
        // The receiving process publishes its state for monitors, as the program does.
        bool publishState = true;
    };

    explicit ReceivePathBench(const Settings &settings);
    ~ReceivePathBench();

    int run();

private:
    struct Usage
    {
        double cpuSeconds = 0;
        qint64 peakKiB = 0;
    };
    struct SacnCount
    {
        std::uint64_t datagrams = 0, written = 0;
    };
    struct Loss
    {
        std::uint64_t sent = 0, received = 0;
        double achievedRate = 0, cpuPerPacketUs = 0, cpuShare = 0;
    };
    struct Latency
    {
        double p50 = 0, p99 = 0, max = 0;
        int lost = 0;
    };
    // One path's measures, a value per round.
    struct Figures
    {
        std::vector<double> lost, sent, cpuUs, cpuShare;
        std::vector<double> idle50, idle99, idleMax, load50, load99, loadMax, probeLost;
        bool dataOk = true;

        void add(const Loss &loss);
        void add(const Latency &idle, const Latency &loaded);
    };

    bool startReceiver(ArtNetMerge::Mode artNetMerge = ArtNetMerge::Mode::Latest);
    void stopReceiver();
    QByteArray command(const QByteArray &line, bool expectAnswer);
    // The answer to a question of the receiver's, `count` numbers after the
    // question's word; zeros when it does not answer so.
    std::vector<qint64> numbers(const QByteArray &question, int count);
    Usage usage();
    SacnCount sacnCount();

    std::uint64_t totalPackets();
    std::uint64_t settledTotal(std::uint64_t before, std::uint64_t expected);
    bool dataMatches(const DmxSender &source, int first, int last);

    Loss measureLoss(DmxSender &source, double rate, double seconds, Figures &figures);
    double highestLosslessRate();
    Latency measureLatency(DmxSender &source, bool underLoad, Figures &figures);

    void measureArtNet();
    bool measureArtNetMerge();
    void measureSacn(int sources);
    void printTable(const Usage &final) const;

    Settings settings;
    QProcess *receiver = nullptr;
    qint64 receiveBuffer = 0;
    MonitorHost host;
    DmxSender sender;
    DmxSender sacnSender;

    Figures artNet;
    Figures artNetMerged; // two sources on every universe, HTP
    std::vector<double> highest, toggledLoss, toggledSent;
    QByteArray rateLimit = "no limit found"; // what stopped the last rate search
    Figures sacn[DmxSender::MaxSources];     // by sources less one
    std::vector<double> sacnRatio[DmxSender::MaxSources];
};

#endif // RECEIVEPATHBENCH_H
