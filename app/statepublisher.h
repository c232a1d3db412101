#ifndef STATEPUBLISHER_H
#define STATEPUBLISHER_H

#include "nodestatewriter.h"

#include <QObject>

class ReceivePipeline;
class QTimer;

// Copies the state of the receive path into the state section about ten
// times a second: the program's settings and ports, each record's sources,
// the recent data that reached no record, and the other programs that hold
// the node's ports. Nothing is published from the
// packet path itself, so a monitor costs the receive path nothing.
class StatePublisher : public QObject
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 100;
    // Other programs on the node's ports are looked for this often: asking
    // the system costs about a millisecond.
    static constexpr qint64 HolderScanIntervalMs = 5000;

    explicit StatePublisher(const ReceivePipeline &pipeline, QObject *parent = nullptr);

    bool isValid() const { return writer.isValid(); }

public slots:
    void publish();

private:
    void publishProgram(qint64 nowMs);
    void publishRecords(qint64 nowMs);
    void publishUnreached();
    void publishHolders(qint64 nowMs);

    const ReceivePipeline &pipeline;
    NodeStateWriter writer;
    ProgramState program = {};
    qint64 lastHolderScanMs = 0;
    bool holdersScanned = false;
    QTimer *timer;
};

#endif // STATEPUBLISHER_H
