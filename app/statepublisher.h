#ifndef STATEPUBLISHER_H
#define STATEPUBLISHER_H

#include "nodestatewriter.h"

#include <QObject>

class ReceivePipeline;
class QTimer;

// Copies the state of the receive path into the state section about ten
// times a second: the program's settings and ports, each record's sources,
// the recent data that reached no record. Nothing is published from the
// packet path itself, so a monitor costs the receive path nothing.
class StatePublisher : public QObject
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 100;

    explicit StatePublisher(const ReceivePipeline &pipeline, QObject *parent = nullptr);

    bool isValid() const { return writer.isValid(); }

public slots:
    void publish();

private:
    void publishProgram(qint64 nowMs);
    void publishRecords(qint64 nowMs);
    void publishUnreached();

    const ReceivePipeline &pipeline;
    NodeStateWriter writer;
    ProgramState program = {};
    QTimer *timer;
};

#endif // STATEPUBLISHER_H
