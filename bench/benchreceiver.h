#ifndef BENCHRECEIVER_H
#define BENCHRECEIVER_H

// The receiving process of the benchmark, wired as the program wires it: an
// Art-Net engine on 127.0.0.1 whose ArtDmx go straight to the universe
// mapper, and beside it an sACN receiver for 127.0.0.1 whose writes go there
// too, universe 1 feeding record 0, all in the GUI thread, next to a main
// window. It takes one-line commands on standard input and answers on
// standard output:
//   window toggle <ms>  show and hide the window every <ms> milliseconds
//   window steady       stop toggling and leave the window shown
//   usage               "usage <user µs> <system µs> <peak resident KiB>"
//   sacn                "sacn <datagrams read> <writes of its merge>"
//   quit
// and announces "ready <receive buffer bytes>" or "failed <reason>" at start.

#include <QObject>

class ArtNetEngine;
class QMainWindow;
class QSocketNotifier;
class QTimer;
class SacnReceiver;
class UniverseMapper;

class BenchReceiver : public QObject
{
    Q_OBJECT

public:
    BenchReceiver(quint16 artNetPort, quint16 sacnPort);
    ~BenchReceiver() override;

    bool start();

private slots:
    void readCommand();
    void toggleWindow();

private:
    void answer(const QByteArray &line);

    ArtNetEngine *engine;
    SacnReceiver *sacn;
    UniverseMapper *mapper;
    QMainWindow *window;
    QTimer *toggleTimer;
    QSocketNotifier *input;
    QByteArray pending;
};

#endif // BENCHRECEIVER_H
