// Uploads a 100 MB work file to vsftpd on loopback through the program's FTP
// client and, alternating with it, through curl (active mode, "-P 127.0.0.1")
// to the same server. Prints the throughput of both (median and spread), the
// longest pause of the event loop during our uploads (a 10 ms timer measuring
// its gaps), and how much our memory grew during an upload.
//
// Usage: bench_ftp [runs per side, default 5] [size in MB, default 100]

#include "NMFTP.h"
#include "RealFtpServer.h"

#include <algorithm>
#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

using namespace taviro;

namespace {

qint64 residentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

struct Stats {
    double median, low, high;
};

Stats stats(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.first(), values.last()};
}

struct OurRun {
    double seconds = 0;
    qint64 longestPauseMs = 0;
    qint64 memoryGrowthKiB = 0;
};

OurRun uploadOurs(quint16 port, const QString& file) {
    TNMFTP client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.UserID = "anonymous";
    client.Password = "bench@example.org";

    OurRun run;
    const qint64 before = residentKiB();
    qint64 most = before;
    QElapsedTimer gap;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        run.longestPauseMs = std::max(run.longestPauseMs, gap.restart());
        most = std::max(most, residentKiB());
    });

    QElapsedTimer clock;
    clock.start();
    gap.start();
    ticker.start(10);
    client.Connect();
    client.Upload(file, "ours.fil");
    client.Disconnect();
    ticker.stop();
    run.seconds = clock.nsecsElapsed() / 1e9;
    // A 10 ms timer: a gap of 10 ms is no pause at all.
    run.longestPauseMs = std::max<qint64>(0, run.longestPauseMs - 10);
    run.memoryGrowthKiB = most - before;
    return run;
}

double uploadCurl(quint16 port, const QString& file) {
    QProcess curl;
    QElapsedTimer clock;
    clock.start();
    curl.start("curl",
               {"-s", "-S", "-P", "127.0.0.1", "-T", file, "--user", "anonymous:bench@example.org",
                QStringLiteral("ftp://127.0.0.1:%1/curl.fil").arg(port)});
    if (!curl.waitForFinished(600000) || curl.exitCode() != 0)
        qFatal("curl failed: %s", curl.readAllStandardError().constData());
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const qint64 megabytes = argc > 2 ? std::max(1, atoi(argv[2])) : 100;
    const qint64 size = megabytes * 1024 * 1024;

    test::RealFtpServer server("vsftpd");
    if (server.program().isEmpty() || !server.start())
        qFatal("vsftpd did not start: %s", qPrintable(server.error()));

    QTemporaryDir work;
    const QString file = work.filePath("upload.fil");
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file));
        QByteArray block(1024 * 1024, '\0');
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = "<p>Lorem ipsum dolor sit amet</p>\r\n"[i % 36];
        for (qint64 written = 0; written < size; written += block.size())
            out.write(block);
    }

    QList<double> ours, theirs;
    qint64 longestPause = 0;
    qint64 memoryGrowth = 0;
    for (int i = 0; i < runs; ++i) {
        const OurRun run = uploadOurs(server.port(), file);
        ours << size / run.seconds / 1e6;
        longestPause = std::max(longestPause, run.longestPauseMs);
        memoryGrowth = std::max(memoryGrowth, run.memoryGrowthKiB);
        theirs << size / uploadCurl(server.port(), file) / 1e6;
        if (QFile(server.root() + "/ours.fil").size() != size ||
            QFile(server.root() + "/curl.fil").size() != size)
            qFatal("an upload did not arrive whole");
    }

    const Stats o = stats(ours), t = stats(theirs);
    std::printf("FTP upload of %lld MB to vsftpd on 127.0.0.1, %d runs each, alternating\n",
                megabytes, runs);
    std::printf("  NMFTP1 (connect, upload, quit): median %7.1f MB/s  (min %.1f, max %.1f)\n",
                o.median, o.low, o.high);
    std::printf("  curl -P 127.0.0.1 -T          : median %7.1f MB/s  (min %.1f, max %.1f)\n",
                t.median, t.low, t.high);
    std::printf("  NMFTP1 / curl                 : %.2f\n", o.median / t.median);
    std::printf("  longest event-loop pause during our uploads: %lld ms (goal: at most 50)\n",
                longestPause);
    std::printf("  our memory growth during an upload: %lld KiB for a %lld MB file\n", memoryGrowth,
                megabytes);
    return 0;
}
