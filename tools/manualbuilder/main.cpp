// Builds the user manual: grabs the program's own windows, puts them into the
// manual's HTML and prints the whole to a PDF, so the pictures never drift from
// the program. Runs at build time under the offscreen platform.
//
//   taviro_manualbuilder MANUAL.html SAMPLE.htm OUT.pdf [PICTURES-DIR]

#include "Forms.h"
#include "Prompts.h"
#include "Shell.h"

#include <cstdio>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextDocument>
#include <QUrl>

using namespace taviro;

namespace {

// The windows must never wait for an answer at build time: any box they would
// show is a fault in the build, reported and failed.
class RefusingPrompts : public Prompts {
public:
    QStringList shown;
    MsgResult messageBox(const MessageRequest& request) override {
        shown << request.text;
        return MsgResult::Cancel;
    }
    bool runFileDialog(QWidget*, TFileDialog&) override { return false; }
    bool runFontDialog(QWidget*, FontChoice&) override { return false; }
    bool runPrintDialog(QWidget*, QPrinter&) override { return false; }
    bool runPrintSetupDialog(QWidget*, QPrinter&) override { return false; }
};

class NoShell : public Shell {
public:
    void open(const QUrl&) override {}
};

int fail(const QString& message) {
    std::fprintf(stderr, "manualbuilder: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // Whoever builds must not have their own editor preferences in the pictures.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4)
        return fail(QStringLiteral("usage: taviro_manualbuilder MANUAL.html SAMPLE.htm OUT.pdf "
                                   "[PICTURES-DIR]"));
    const QString source = args[1];
    const QString output = args[3];
    const QString picturesDir = args.value(4);

    RefusingPrompts prompts;
    setPrompts(&prompts);
    NoShell shell;
    setShell(&shell);

    QFile html(source);
    if (!html.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1").arg(source));
    QString text = QString::fromUtf8(html.readAll());

    // Pictures of an earlier build that no form makes any more must not linger.
    if (!picturesDir.isEmpty()) {
        QDir old(picturesDir);
        for (const QString& name : old.entryList({QStringLiteral("*.png")}, QDir::Files))
            old.remove(name);
    }

    QTextDocument document;
    const manual::ShotContext context{QFileInfo(args[2]).absoluteFilePath()};
    QStringList made;
    for (const manual::FormShot& shot : manual::manualForms()) {
        const QImage image = shot.grab(context);
        if (image.isNull())
            return fail(QStringLiteral("the picture \"%1\" came out empty").arg(shot.name));
        document.addResource(QTextDocument::ImageResource, QUrl("shot:" + shot.name), image);
        made << shot.name;
        if (!picturesDir.isEmpty()) {
            QDir().mkpath(picturesDir);
            if (!image.save(QDir(picturesDir).filePath(shot.name + ".png")))
                return fail(QStringLiteral("cannot write the picture \"%1\"").arg(shot.name));
        }
    }
    if (!prompts.shown.isEmpty())
        return fail(QStringLiteral("a window showed a message while being pictured: ") +
                    prompts.shown.join(QStringLiteral(" / ")));

    // A picture the manual asks for but no form provides yet is left out, with a
    // note, so the manual still builds while a window is being written.
    static const QRegularExpression imageTag(
        QStringLiteral(R"re(<img\s[^>]*src="shot:([A-Za-z0-9_-]+)"[^>]*>)re"));
    QString kept;
    qsizetype last = 0;
    for (auto it = imageTag.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        kept += text.mid(last, match.capturedStart() - last);
        if (made.contains(match.captured(1)))
            kept += match.captured(0);
        else
            std::fprintf(stderr, "manualbuilder: no picture \"%s\" yet; left out\n",
                         qPrintable(match.captured(1)));
        last = match.capturedEnd();
    }
    kept += text.mid(last);

    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPointSizeF(10);
    document.setDefaultFont(body);
    document.setHtml(kept);

    QDir().mkpath(QFileInfo(output).absolutePath());
    // Written beside the target first, so a failed build never leaves half a manual.
    const QString partial = output + QStringLiteral(".part");
    {
        QPdfWriter pdf(partial);
        pdf.setTitle(QStringLiteral("Taviro 1.5 Manual"));
        pdf.setCreator(QStringLiteral("Taviro manual builder"));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setResolution(300);
        document.print(&pdf);
    }
    QFile::remove(output);
    if (!QFile::rename(partial, output))
        return fail(QStringLiteral("cannot write %1").arg(output));
    return 0;
}
