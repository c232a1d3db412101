#ifndef RECEIVEPATHBENCH_H
#define RECEIVEPATHBENCH_H

// Measures the whole receive path: this process sends ArtDmx over loopback
// to a receiving process (BenchReceiver), whose engine and mapper write the
// universe data area, and reads the area back through the driver library as
// a visualiser host does. Prints one table.

#include "dmxsender.h"
#include "monitorhost.h"

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
        quint16 port = 46500;
        quint16 sacnPort = 46501;
        QString library;
        double stepSeconds = 5;
        double lossSeconds = 30;
        int probes = 3000;
        int repeat = 1;
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
    struct Loss
    {
        std::uint64_t sent = 0;
        std::uint64_t received = 0;
        double achievedRate = 0;
        double cpuPerPacketUs = 0;
        double cpuShare = 0;
    };
    struct Latency
    {
        double p50 = 0, p99 = 0, max = 0;
        int lost = 0;
    };

    bool startReceiver();
    void stopReceiver();
    QByteArray command(const QByteArray &line, bool expectAnswer);
    Usage usage();

    std::uint64_t totalPackets();
    std::uint64_t settledTotal(std::uint64_t before, std::uint64_t expected);
    bool dataMatches(const DmxSender &sender, int first, int last);

    Loss measureLoss(double rate, double seconds);
    double highestLosslessRate();
    Latency measureLatency(bool underLoad);

    Settings settings;
    QProcess *receiver = nullptr;
    qint64 receiveBuffer = 0;
    MonitorHost host;
    DmxSender sender;
    bool dataOk = true;
    QByteArray rateLimit = "no limit found"; // what stopped the last rate search
};

#endif // RECEIVEPATHBENCH_H
