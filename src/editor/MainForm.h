#pragma once

#include "DocumentFile.h"
#include "DocumentHost.h"
#include "FileDialog.h"

#include <memory>
#include <optional>
#include <QMainWindow>
#include <QStringList>

class QAction;
class QPrinter;
class QMenu;
class QMenuBar;
class QStatusBar;

namespace Ui {
class TMainForm;
}

namespace taviro {

class TEncodingButton;
class TRichEdit;
class TRsRegistry;
class Tget;

// The main window: one document in RichEdit1, the menu bar, the status line that
// shows the highlighted menu item's hint, and the caption naming the document.
class TMainForm : public QMainWindow, public IDocumentHost {
    Q_OBJECT
public:
    static inline const QString CaptionPrefix = QStringLiteral("Taviro 1.5 ");
    // Where the font preferences are kept in the per-user key store.
    static inline const QString PreferencesKey = QStringLiteral("\\Software\\plomix\\taviro\\");
    static inline const QString FileFilter = QStringLiteral(
        "HTML|*.htm;*.html|All Files|*.*|ASP|*.asp|PHP|*.php;*.php3;*.phtml|Text|*.txt");

    // `params` are the command-line arguments after the program name.
    explicit TMainForm(const QStringList& params = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Controls, named as the rest of the program and the tests know them.
    TRichEdit* RichEdit1 = nullptr;
    QStatusBar* StatusLine = nullptr;
    QMenuBar* MainMenu = nullptr;
    // The document's encoding at the right end of the status line; a click changes it.
    TEncodingButton* EncodingButton = nullptr;
    TFileDialog OpenDialog{TFileDialog::Open};
    TFileDialog SaveDialog{TFileDialog::Save};
    // The font preferences live below this component's base key.
    TRsRegistry* reg = nullptr;
    // The printer for this run: Print Setup's choices last until the program ends.
    // Made on first use, since asking the print system for its printers can be
    // slow and most runs print nothing.
    QPrinter& Printer();

    const QString& DocumentName() const { return m_documentName; }
    // How the document is saved: its encoding and byte-order mark. Load, New and
    // the encoding choice set it.
    const DocumentFile::DocumentFormat& documentFormat() const { return m_format; }
    void setDocumentFormat(const DocumentFile::DocumentFormat& format);

    // The document as the publishing commands reach it.
    QWidget* hostWindow() override { return this; }
    void AssignDocumentName(const QString& name) override;
    void RefreshCaption() override;
    // Asks whether to save a modified document. Ends the calling command with the
    // silent abort on Cancel, and on Yes after saving.
    void PromptSaveChanges() override;
    // Whole-text save and load in the document file format.
    void SaveDocumentTo(const QString& path) override;
    void LoadDocumentFrom(const QString& path) override;
    void ClearDocument() override;

    // Commands.
    void FileNewItemClick();
    void FileOpen();
    void FileSave();
    void Save1Click();
    void FileSaveAs();
    void FileSaveAs2Click();
    void FileExit();
    void ExitSave();
    // The status line's encoding choice: reads a named document's file again in
    // `encoding` (after the save question when it is modified); an untitled
    // document keeps its text for the next save in `encoding`.
    void ChooseEncoding(DocumentFile::TextEncoding encoding);

    void ShowHint();

    // Editing, view, font and printing.
    void ApplyFontPreferences();
    void EditUndo();
    void EditCut();
    void EditCopy();
    void EditPaste();
    void WordWrap1Click();
    void Font1Click();
    void FilePrint();
    void FilePrintSetup();

    // Help: the manual and the About box.
    void HelpContents();
    void HelpAbout();

    // Preview and upload.
    void AsASP1Click();
    void AsHTML1Click();
    void AsPHP1Click();
    void Upload1Click();

    // Fetching over HTTP. `get` is the Get File dialog, made by the start-up
    // sequence and living for the run; the update check borrows its client.
    Tget* get = nullptr;
    Tget& getFileDialog();
    void GetFile1Click();
    void chkUdatesClick();

signals:
    // The main window has closed for good: the program ends.
    void closed();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate(const QStringList& params);
    void FormShow();
    // True when the window may close; raises the silent abort to keep it open.
    bool FormClose();
    // The save question for a modified document: returns on No (or when there is
    // nothing to save); on Yes runs `save` and then, as on Cancel, ends the
    // calling command with the silent abort.
    void askToSave(void (TMainForm::*save)());

    void connectCommands();
    // Reads, decodes and shows the page at `path`, in `encoding` or the one its
    // bytes tell; the document's format follows.
    void loadPage(const QString& path, std::optional<DocumentFile::TextEncoding> encoding);
    void setUpEncodingChoice();
    void replaceUnencodable();
    void applyStoredFont();
    void printDocument(QPrinter& printer);
    void connectHints();
    void watchMenuHints(QMenu* menu, bool topLevel);

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<QPrinter> m_printer;
    QString m_documentName;
    DocumentFile::DocumentFormat m_format;
    bool m_shownBefore = false;
};

} // namespace taviro
