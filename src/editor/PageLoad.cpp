#include "PageLoad.h"

#include "DocumentFile.h"
#include "Exceptions.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <exception>

namespace taviro {

// About 20 ms of reading, decoding and laying on a slow machine: below this a
// page is done on the spot, with no thread and no waiting.
qint64 PageLoad::backgroundThreshold = 512 * 1024;

namespace {

// How often the progress is shown while a page loads.
constexpr int kProgressMs = 100;
// Bytes per read, so that reading shows progress too.
constexpr qint64 kReadChunk = 4 * 1024 * 1024;

// Holds every input event of the application while a page loads: the editor
// still shows the old text, and a key typed into it, a command that saves it or
// a second Open would act on a document about to be replaced. Painting goes on.
// A request to close `window` is carried out once the page is in.
class InputHold : public QObject {
public:
    explicit InputHold(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    ~InputHold() override {
        qApp->removeEventFilter(this);
        if (m_closeAsked && m_window)
            QMetaObject::invokeMethod(m_window.data(), &QWidget::close, Qt::QueuedConnection);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        case QEvent::Close:
            if (watched == m_window) {
                m_closeAsked = true;
                event->ignore();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    QPointer<QWidget> m_window;
    bool m_closeAsked = false;
};

} // namespace

struct PageLoad::Private {
    std::optional<DocumentFile::TextEncoding> encoding;
    QFile file;
    DocumentFile::DocumentFormat format;
    qint64 size = 0;

    // Shared with the worker thread.
    std::atomic<qint64> read{0};
    std::atomic<qint64> laid{0};
    std::atomic<bool> cancel{false};
    std::unique_ptr<QTextDocument> document;
    std::exception_ptr failure;

    // The file's next piece, ending just after a LF about kReadChunk on (or at
    // the end of what there is to read); empty at the end.
    QByteArray nextPiece(QByteArray& carry) {
        QByteArray piece = std::move(carry);
        carry = QByteArray();
        for (;;) {
            const qsizetype lf = piece.lastIndexOf('\n');
            if (lf >= 0 && (piece.size() >= kReadChunk || file.atEnd())) {
                carry = piece.mid(lf + 1);
                piece.truncate(lf + 1);
                return piece;
            }
            const QByteArray more = file.read(kReadChunk);
            if (more.isEmpty())
                return piece; // the last line, without a break
            piece += more;
        }
    }

    // Reads, decodes and lays the page; on any thread. The file is read twice, a
    // piece at a time: once to find its format, once to lay its text, so that
    // neither its bytes nor its whole text ever sit in memory beside the new
    // document. Errors while reading a file that did open are not reported: the
    // editor then holds what was read.
    void work(const TRichEdit::DocumentSettings& settings) {
        QByteArray carry;
        if (encoding) {
            format = DocumentFile::formatAs(file.peek(4), *encoding);
            // No pass to find the format: its share of the progress is done.
            read.store(size, std::memory_order_relaxed);
        } else {
            DocumentFile::FormatDetector detector;
            for (QByteArray piece = nextPiece(carry); !piece.isEmpty(); piece = nextPiece(carry)) {
                if (cancel.load(std::memory_order_relaxed))
                    return;
                detector.add(piece);
                read.store(file.pos() - carry.size(), std::memory_order_relaxed);
            }
            format = detector.format();
            file.seek(0);
            carry = QByteArray();
        }
        bool first = true;
        document = TRichEdit::layText(
            [&] {
                const QByteArray piece = nextPiece(carry);
                const QString text = DocumentFile::decodePiece(piece, first, format);
                first = false;
                laid.store(file.pos() - carry.size(), std::memory_order_relaxed);
                return text;
            },
            settings, &cancel);
    }

    // Reading counts for a tenth of the time, laying the lines for the rest.
    int percent() const {
        if (size <= 0)
            return 0;
        return int((10 * read.load(std::memory_order_relaxed) +
                    90 * laid.load(std::memory_order_relaxed)) /
                   size);
    }
};

PageLoad::PageLoad(const QString& path, std::optional<DocumentFile::TextEncoding> encoding)
    : d(std::make_unique<Private>()) {
    d->encoding = encoding;
    d->file.setFileName(path);
    if (!d->file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file %1").arg(path));
    d->size = d->file.size();
}

PageLoad::~PageLoad() = default;

DocumentFile::DocumentFormat PageLoad::into(TRichEdit* edit, QWidget* window,
                                            const std::function<void(int)>& progress) {
    const TRichEdit::DocumentSettings settings = edit->documentSettings();
    if (!window || d->size < backgroundThreshold) {
        d->work(settings);
        edit->adoptDocument(std::move(d->document));
        return d->format;
    }

    QThread* const gui = QThread::currentThread();
    std::unique_ptr<QThread> worker(QThread::create([this, &settings, gui] {
        try {
            d->work(settings);
            // The document goes to the editor's thread; only its own thread may
            // hand it over.
            if (d->document)
                d->document->moveToThread(gui);
        } catch (...) {
            d->failure = std::current_exception();
        }
    }));

    {
        InputHold hold(window);
        QEventLoop loop;
        QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (progress)
                progress(d->percent());
        });
        if (progress)
            progress(0);
        tick.start(kProgressMs);
        worker->start();
        loop.exec();
        if (!worker->isFinished()) {
            // The application is quitting: stop the work, wait for it and leave
            // the editor as it was.
            d->cancel.store(true);
            worker->wait();
            d->document.reset();
            Abort();
        }
    }
    worker->wait();
    if (d->failure)
        std::rethrow_exception(d->failure);
    if (!d->document)
        Abort();
    edit->adoptDocument(std::move(d->document));
    return d->format;
}

} // namespace taviro
