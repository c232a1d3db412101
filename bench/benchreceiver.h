#ifndef BENCHRECEIVER_H
#define BENCHRECEIVER_H

// The receiving process of the benchmark: the program's receive pipeline on
// 127.0.0.1, Art-Net and sACN into the universe data area with the
// program's default numbering (universe 1 feeding record 0) and the Art-Net
// merge mode given, publishing its state or not, all in the GUI thread, next to a main window. It takes one-line commands on standard input and answers on
// standard output:
//   window toggle <ms>  show and hide the window every <ms> milliseconds
//   window steady       stop toggling and leave the window shown
//   usage               "usage <user µs> <system µs> <peak resident KiB>"
//   sacn                "sacn <datagrams read> <writes of its merge>"
//   quit
// and announces "ready <receive buffer bytes>" or "failed <reason>" at start.

#include <QObject>

class QMainWindow;
class QSocketNotifier;
class QTimer;
class ReceivePipeline;
struct ReceiveOptions;

class BenchReceiver : public QObject
{
    Q_OBJECT

public:
    // On the address and ports of `options`, which are otherwise the program's defaults.
    BenchReceiver(const ReceiveOptions &options, bool publishState);
    ~BenchReceiver() override;

    bool start();

private slots:
    void readCommand();
    void toggleWindow();

private:
    void answer(const QByteArray &line);

    ReceivePipeline *pipeline;
    const bool publishState;
    QMainWindow *window;
    QTimer *toggleTimer;
    QSocketNotifier *input;
    QByteArray pending;
};

#endif // BENCHRECEIVER_H
