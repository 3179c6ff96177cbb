// Fetching over HTTP from a local nginx: NMHTTP1.Get beside curl (HTTP/1.0, to
// /dev/null) on the same 100 MB body, alternating, several runs each; the longest
// pause of the event loop during our fetches; our peak memory; and Get File's
// whole time to a 50 MB page shown in the editor.
//
// Usage: bench_http [runs, default 5]

#include "Gf.h"
#include "MainForm.h"
#include "NMHTTP.h"
#include "RichEdit.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace taviro;

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kBodySize = 100 * kMiB;
constexpr qint64 kPageSize = 50 * kMiB;
// Goals: as fast as curl, no pause a user would notice, the page on screen soon
// after its last byte.
constexpr double kPauseGoalMs = 50;
constexpr double kShowGoalMs = 1000;

struct Stats {
    double median, min, max;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

qint64 peakRssKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

void resetPeakRss() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// The longest gap between turns of the event loop while it runs.
class PauseMeter {
public:
    PauseMeter() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start() {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        // Every millisecond: often enough to see a pause, rare enough not to slow the fetch.
        m_timer.start(1);
    }
    double stopMs() {
        m_timer.stop();
        return m_longest / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void writeFile(const QString& path, qint64 size, bool html) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QByteArray block;
    for (int i = 0; block.size() < kMiB; ++i)
        block += html ? "<p class=\"x\">paragraph " + QByteArray::number(i) + " of the page</p>\r\n"
                      : QByteArray(64, char('a' + i % 26));
    block.truncate(kMiB);
    for (qint64 written = 0; written < size; written += block.size())
        f.write(block.first(std::min<qint64>(block.size(), size - written)));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString nginx = QStandardPaths::findExecutable(
        QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (nginx.isEmpty() || curl.isEmpty()) {
        std::printf("needs nginx and curl\n");
        return 1;
    }

    QTemporaryDir dir;
    // Get File writes its work file into the current directory.
    QDir::setCurrent(dir.path());
    QDir(dir.path()).mkpath(QStringLiteral("www"));
    writeFile(dir.filePath(QStringLiteral("www/big.bin")), kBodySize, false);
    writeFile(dir.filePath(QStringLiteral("www/page.htm")), kPageSize, true);
    const quint16 port = freePort();
    QFile conf(dir.filePath(QStringLiteral("nginx.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral(
                   "daemon off; master_process off; pid %1/nginx.pid; error_log %1/error.log;\n"
                   "events { worker_connections 16; }\n"
                   "http { access_log off; client_body_temp_path %1/t1; proxy_temp_path %1/t2;\n"
                   " fastcgi_temp_path %1/t3; uwsgi_temp_path %1/t4; scgi_temp_path %1/t5;\n"
                   " server { listen 127.0.0.1:%2; root %1/www; } }\n")
                   .arg(dir.path())
                   .arg(port)
                   .toUtf8());
    conf.close();
    QProcess server;
    server.start(nginx, {QStringLiteral("-p"), dir.path(), QStringLiteral("-c"), conf.fileName()});
    server.waitForStarted();
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            break;
        QTest::qWait(50);
    }
    const QString address = QStringLiteral("127.0.0.1:%1/big.bin").arg(port);

    std::vector<double> ours, theirs, pauses;
    qint64 peak = 0;
    PauseMeter meter;
    TNMHTTP http;
    http.TimeOut = 5000;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        resetPeakRss();
        meter.start();
        t.start();
        http.Get(address);
        const double ms = t.nsecsElapsed() / 1e6;
        pauses.push_back(meter.stopMs());
        peak = std::max(peak, peakRssKiB());
        if (http.Body.size() != kBodySize) {
            std::printf("short body: %lld\n", qlonglong(http.Body.size()));
            return 1;
        }
        http.Body.clear();
        ours.push_back(kBodySize / kMiB / (ms / 1000));

        QProcess c;
        t.start();
        c.start(curl, {QStringLiteral("-0"), QStringLiteral("-s"), QStringLiteral("-o"),
                       QStringLiteral("/dev/null"), QStringLiteral("http://") + address});
        c.waitForFinished(-1);
        theirs.push_back(kBodySize / kMiB / (t.nsecsElapsed() / 1e9));
    }
    const Stats o = stats(ours), c = stats(theirs), p = stats(pauses);
    std::printf("100 MB body from local nginx, %d runs each, alternating\n", runs);
    std::printf("  NMHTTP1.Get   median %7.0f MB/s  (min %.0f, max %.0f)\n", o.median, o.min,
                o.max);
    std::printf(
        "  curl -0       median %7.0f MB/s  (min %.0f, max %.0f)   [peer, includes its start-up]\n",
        c.median, c.min, c.max);
    std::printf(
        "  longest event-loop pause during our fetch: median %.1f ms, max %.1f ms (goal < %.0f)\n",
        p.median, p.max, kPauseGoalMs);
    std::printf("  our peak memory during a fetch: %lld MB (body %lld MB)\n", peak / 1024,
                kBodySize / kMiB);

    // Get File, as the user runs it, to a 50 MB page.
    TMainForm form;
    form.show();
    Tget& get = form.getFileDialog();
    QElapsedTimer whole;
    double lastByteMs = -1;
    QObject::connect(get.NMHTTP1, &TNMHTTP::Progress, [&](qint64 n, qint64 total) {
        if (total >= 0 && n == total)
            lastByteMs = whole.nsecsElapsed() / 1e6;
    });
    double shownMs = -1;
    meter.start();
    QTimer::singleShot(0, [&] {
        get.Edit1->setText(QStringLiteral("127.0.0.1:%1/page.htm").arg(port));
        whole.start();
        get.getFile->click();
        QCoreApplication::processEvents();
        shownMs = whole.nsecsElapsed() / 1e6;
    });
    form.findChild<QAction*>(QStringLiteral("GetFile1"))->trigger();
    const double pause = meter.stopMs();
    std::printf(
        "Get File, 50 MB page: %.0f ms in all, last byte at %.0f ms, shown %.0f ms after it "
        "(goal < %.0f); longest pause %.0f ms\n",
        shownMs, lastByteMs, shownMs - lastByteMs, kShowGoalMs, pause);
    // The editor's own load of the same work file, as File > Open does it: the part
    // of the time above that is not the fetch's.
    QElapsedTimer load;
    load.start();
    form.LoadDocumentFrom(QStringLiteral("getfile.fil"));
    QCoreApplication::processEvents();
    std::printf("  of which the editor's load of getfile.fil alone: %.0f ms\n",
                load.nsecsElapsed() / 1e6);
    server.kill();
    server.waitForFinished();
    return 0;
}
