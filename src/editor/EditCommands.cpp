// The commands that work on the editor rather than on files: undo and the
// clipboard, word wrap, the font and its stored preferences, and printing.

#include "EditorFont.h"
#include "Exceptions.h"
#include "Guard.h"
#include "MainForm.h"
#include "NumberConvert.h"
#include "Prompts.h"
#include "RichEdit.h"
#include "RsRegistry.h"

#include <QGuiApplication>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTextDocument>

namespace taviro {

namespace {

const QString kFontKey = QStringLiteral("font");
const QString kFaceValue = QStringLiteral("font");
const QString kSizeValue = QStringLiteral("size");
// Longer face names are not kept by the desktop's font records.
constexpr int kMaxFaceLength = 31;

} // namespace

void TMainForm::applyStoredFont() {
    runGuarded([this] {
        try {
            ApplyFontPreferences();
        } catch (const EKeyNotFound&) {
            // No base key yet: the Font command has never stored anything, so
            // there are no preferences and the design font stays.
        }
    });
}

void TMainForm::ApplyFontPreferences() {
    QFont base = RichEdit1->font();

    reg->TargetKey = kFontKey;
    reg->TargetValue = kFaceValue;
    const QString face = reg->ReadString();
    if (!face.isEmpty()) {
        base = EditorFont::withFace(base, face.left(kMaxFaceLength));
        RichEdit1->setFont(base);
    }

    reg->TargetKey = kFontKey;
    reg->TargetValue = kSizeValue;
    const int points = StrToInt(reg->ReadString());
    const int pixels = EditorFont::pixelsForPoints(points, RichEdit1->logicalDpiY());
    // A size that gives no visible text keeps the size there is.
    if (pixels > 0) {
        base.setPixelSize(pixels);
        RichEdit1->setFont(base);
    }
}

void TMainForm::EditUndo() {
    RichEdit1->undo();
}

void TMainForm::EditCut() {
    RichEdit1->cut();
}

void TMainForm::EditCopy() {
    RichEdit1->copy();
}

void TMainForm::EditPaste() {
    RichEdit1->paste();
}

void TMainForm::WordWrap1Click() {
    // Only the view changes: text, formatting and the modified flag stay.
    RichEdit1->setLineWrapMode(RichEdit1->lineWrapMode() == QPlainTextEdit::NoWrap
                                   ? QPlainTextEdit::WidgetWidth
                                   : QPlainTextEdit::NoWrap);
}

void TMainForm::Font1Click() {
    const int dpiY = RichEdit1->logicalDpiY();

    // The selection's formatting, or the caret's when nothing is selected.
    QTextCursor probe = RichEdit1->textCursor();
    if (probe.hasSelection()) {
        const int first = probe.selectionStart();
        probe.setPosition(first);
        probe.setPosition(first + 1);
    }
    const QTextCharFormat format =
        probe.hasSelection() ? probe.charFormat() : RichEdit1->currentCharFormat();
    FontChoice choice;
    choice.font = format.font().resolve(RichEdit1->font());
    choice.font.setPointSize(EditorFont::points(choice.font, dpiY));
    choice.color = format.foreground().style() != Qt::NoBrush
                       ? format.foreground().color()
                       : RichEdit1->palette().color(QPalette::Text);

    const FontChoice offered = choice;
    // OK on what was offered changes nothing, not even the caret's format.
    if (prompts().runFontDialog(this, choice) &&
        (choice.font != offered.font || choice.color != offered.color)) {
        QTextCharFormat chosen;
        chosen.setFont(choice.font, QTextCharFormat::FontPropertiesAll);
        chosen.setForeground(choice.color);
        // Formatting is never saved, so it does not make the text "modified".
        const bool modified = RichEdit1->Modified();
        RichEdit1->mergeCurrentCharFormat(chosen);
        RichEdit1->setModified(modified);
    }
    RichEdit1->setFocus();

    // Stored whether confirmed or not; face first, so a failing size write
    // leaves a face with the old size rather than the other way round.
    reg->TargetKey = kFontKey;
    reg->TargetValue = kFaceValue;
    reg->WriteString(choice.font.family());
    reg->TargetKey = kFontKey;
    reg->TargetValue = kSizeValue;
    reg->WriteString(IntToStr(EditorFont::points(choice.font, dpiY)));
}

QPrinter& TMainForm::Printer() {
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
    return *m_printer;
}

void TMainForm::FilePrint() {
    const bool printsToFile = !Printer().outputFileName().isEmpty();
    if (!printsToFile && QPrinterInfo::availablePrinters().isEmpty())
        throw Exception(QStringLiteral("There is no default printer currently selected"));
    if (!prompts().runPrintDialog(this, Printer()))
        return;
    Printer().setDocName(m_documentName);
    printDocument(Printer());
}

void TMainForm::printDocument(QPrinter& printer) {
    std::unique_ptr<QTextDocument> doc(RichEdit1->document()->clone());
    doc->setDefaultFont(RichEdit1->font());
    // Lines break at the page width, whatever the editor's word wrap.
    QTextOption option = doc->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc->setDefaultTextOption(option);
    // Nothing added around the text: no margin of the document's own, and a set
    // page size, which also keeps QTextDocument from adding its margins and
    // page numbers.
    doc->setDocumentMargin(0);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal screenDpiX = screen ? screen->logicalDotsPerInchX() : 96.0;
    const qreal screenDpiY = screen ? screen->logicalDotsPerInchY() : 96.0;
    const QSizeF printable = printer.pageRect(QPrinter::DevicePixel).size();
    doc->setPageSize(QSizeF(printable.width() * screenDpiX / printer.logicalDpiX(),
                            printable.height() * screenDpiY / printer.logicalDpiY()));
    doc->print(&printer);
    if (printer.printerState() == QPrinter::Error)
        throw Exception(QStringLiteral("Printing failed"));
}

void TMainForm::FilePrintSetup() {
    prompts().runPrintSetupDialog(this, Printer());
}

} // namespace taviro
