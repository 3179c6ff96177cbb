#include "MainForm.h"

#include "Application.h"
#include "DocumentFile.h"
#include "EditorFont.h"
#include "Exceptions.h"
#include "Guard.h"
#include "PageLoad.h"
#include "Prompts.h"
#include "RichEdit.h"
#include "RsRegistry.h"
#include "ui_MainForm.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>

namespace taviro {

namespace {

const QString kSaveQuestion = QStringLiteral("Do you want to save this file?");

MsgResult askSaveQuestion(QWidget* owner) {
    MessageRequest box;
    box.owner = owner;
    box.text = kSaveQuestion;
    box.caption = kSaveQuestion;
    box.buttons = MsgButtons::YesNoCancel;
    box.icon = MsgIcon::Question;
    box.defaultButton = MsgResult::Yes;
    return prompts().messageBox(box);
}

} // namespace

TMainForm::TMainForm(const QStringList& params, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    ui->setupUi(this);
    RichEdit1 = ui->RichEdit1;
    StatusLine = ui->StatusLine;
    MainMenu = ui->MainMenu;

    QFont designFont = EditorFont::withFace(RichEdit1->font(), QStringLiteral("Impact"));
    designFont.setPixelSize(13);
    RichEdit1->setFont(designFont);

    reg = new TRsRegistry(this);
    reg->BaseKey = PreferencesKey;

    OpenDialog.Filter = FileFilter;
    SaveDialog.Filter = FileFilter;
    SaveDialog.DefaultExt = QStringLiteral("htm");

    connectCommands();
    setUpEncodingChoice();
    FormCreate(params);
}

TMainForm::~TMainForm() = default;

void TMainForm::connectCommands() {
    const auto command = [this](QAction* action, void (TMainForm::*handler)()) {
        connect(action, &QAction::triggered, this,
                guarded([this, handler] { (this->*handler)(); }));
    };
    command(ui->FileNewItem, &TMainForm::FileNewItemClick);
    command(ui->FileOpenItem, &TMainForm::FileOpen);
    command(ui->FileSaveItem, &TMainForm::FileSave);
    command(ui->FileSaveAsItem, &TMainForm::FileSaveAs);
    command(ui->FileExitItem, &TMainForm::FileExit);
    command(ui->FilePrintItem, &TMainForm::FilePrint);
    command(ui->FilePrintSetupItem, &TMainForm::FilePrintSetup);
    command(ui->EditUndoItem, &TMainForm::EditUndo);
    command(ui->EditCutItem, &TMainForm::EditCut);
    command(ui->EditCopyItem, &TMainForm::EditCopy);
    command(ui->EditPasteItem, &TMainForm::EditPaste);
    command(ui->WordWrap1, &TMainForm::WordWrap1Click);
    command(ui->Font1, &TMainForm::Font1Click);
    command(ui->GetFile1, &TMainForm::GetFile1Click);
    command(ui->chkUdates, &TMainForm::chkUdatesClick);
    command(ui->HelpContentsItem, &TMainForm::HelpContents);
    command(ui->HelpAboutItem, &TMainForm::HelpAbout);
    command(ui->AsASP1, &TMainForm::AsASP1Click);
    command(ui->AsHTML1, &TMainForm::AsHTML1Click);
    command(ui->AsPHP1, &TMainForm::AsPHP1Click);
    command(ui->Upload1, &TMainForm::Upload1Click);
}

void TMainForm::FormCreate(const QStringList& params) {
    // A failing step skips the rest; the window opens all the same.
    runGuarded([&] {
        connect(&Application(), &TApplication::OnHint, this, guarded([this] { ShowHint(); }));
        connectHints();
        applyStoredFont();
        if (!params.isEmpty()) {
            LoadDocumentFrom(params.constFirst());
            // Kept as typed: a relative path stays relative in the caption.
            AssignDocumentName(params.constFirst());
            RichEdit1->setModified(false);
        }
        RefreshCaption();
    });
}

void TMainForm::FormShow() {
    RefreshCaption();
    if (!m_shownBefore) {
        m_shownBefore = true;
        // Start-up fills the editor before it has its size: in the small frame
        // of an editor never shown, a line of a large font is taller than the
        // view, and keeping the caret in sight scrolls a first line that wraps
        // part-way out. Now that the editor has its real size, the page opens
        // at its top, as with File > Open.
        RichEdit1->verticalScrollBar()->setValue(0);
        RichEdit1->horizontalScrollBar()->setValue(0);
    }
}

void TMainForm::AssignDocumentName(const QString& name) {
    m_documentName = name;
}

void TMainForm::RefreshCaption() {
    setWindowTitle(CaptionPrefix + m_documentName);
}

void TMainForm::ShowHint() {
    StatusLine->showMessage(Application().Hint());
}

// --- status-line hints ---------------------------------------------------------

void TMainForm::connectHints() {
    connect(MainMenu, &QMenuBar::hovered, this,
            [](QAction* action) { Application().setHint(longHint(action->statusTip())); });
    for (QAction* action : MainMenu->actions()) {
        if (action->menu())
            watchMenuHints(action->menu(), true);
    }
}

void TMainForm::watchMenuHints(QMenu* menu, bool topLevel) {
    // A sub-menu's hint is designed on the menu; its item in the parent menu is
    // what gets highlighted.
    menu->menuAction()->setStatusTip(menu->statusTip());
    connect(menu, &QMenu::hovered, this,
            [](QAction* action) { Application().setHint(longHint(action->statusTip())); });
    if (topLevel) {
        // Closing the menu, by a choice or by leaving it, empties the line.
        connect(menu, &QMenu::aboutToHide, this, [] { Application().setHint(QString()); });
    }
    // QMenu announces no highlight for separators, yet the line must empty there.
    menu->installEventFilter(this);
    for (QAction* action : menu->actions()) {
        if (action->menu())
            watchMenuHints(action->menu(), false);
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
            const auto* move = static_cast<QMouseEvent*>(event);
            const QAction* under = menu->actionAt(move->position().toPoint());
            if (under && under->isSeparator())
                Application().setHint(QString());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::event(QEvent* event) {
    // Qt's own status tips would write to the status line behind the hint's back.
    if (event->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(event);
}

// --- the document ---------------------------------------------------------------

void TMainForm::SaveDocumentTo(const QString& path) {
    DocumentFile::save(path, RichEdit1->textPieces(), m_format);
}

void TMainForm::loadPage(const QString& path, std::optional<DocumentFile::TextEncoding> encoding) {
    // Opened first: a file that cannot be opened leaves the editor as it was.
    PageLoad load(path, encoding);
    if (!isVisible()) {
        // Start-up: there is no window to keep alive yet.
        setDocumentFormat(load.into(RichEdit1));
        return;
    }
    const QString name = QFileInfo(path).fileName();
    setDocumentFormat(load.into(RichEdit1, this, [this, name](int percent) {
        StatusLine->showMessage(QStringLiteral("Opening %1: %2%").arg(name).arg(percent));
    }));
    // Back to the hint the line follows.
    ShowHint();
}

void TMainForm::LoadDocumentFrom(const QString& path) {
    loadPage(path, std::nullopt);
}

void TMainForm::ClearDocument() {
    RichEdit1->replaceText(QString());
    setDocumentFormat(DocumentFile::newDocumentFormat());
    RichEdit1->setModified(false);
}

void TMainForm::askToSave(void (TMainForm::*save)()) {
    if (!RichEdit1->Modified())
        return;
    switch (askSaveQuestion(this)) {
    case MsgResult::No:
        return;
    case MsgResult::Yes:
        // The save is all that happens; the user gives the command again.
        (this->*save)();
        Abort();
    default:
        Abort();
    }
}

void TMainForm::PromptSaveChanges() {
    askToSave(&TMainForm::Save1Click);
}

void TMainForm::FileNewItemClick() {
    PromptSaveChanges();
    AssignDocumentName(QString());
    ClearDocument();
    RefreshCaption();
}

void TMainForm::FileOpen() {
    PromptSaveChanges();
    if (!OpenDialog.Execute(this))
        return;
    LoadDocumentFrom(OpenDialog.FileName);
    AssignDocumentName(OpenDialog.FileName);
    RichEdit1->setFocus();
    RichEdit1->setModified(false);
    // The dialog offers no read-only choice, so an opened file is always editable.
    RichEdit1->setReadOnly(false);
    RefreshCaption();
}

void TMainForm::FileSave() {
    if (m_documentName.isEmpty()) {
        FileSaveAs2Click();
    } else {
        SaveDocumentTo(m_documentName);
        RichEdit1->setModified(false);
    }
    RefreshCaption();
}

void TMainForm::Save1Click() {
    FileSave();
}

void TMainForm::FileSaveAs() {
    if (SaveDialog.Execute(this)) {
        SaveDocumentTo(SaveDialog.FileName);
        AssignDocumentName(SaveDialog.FileName);
        RichEdit1->setModified(false);
    }
    RefreshCaption();
}

void TMainForm::FileSaveAs2Click() {
    FileSaveAs();
}

void TMainForm::FileExit() {
    close();
}

// --- closing --------------------------------------------------------------------

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    runGuarded([this] { FormShow(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool mayClose = false;
    runGuarded([&] { mayClose = FormClose(); });
    if (!mayClose) {
        // A close event starts accepted; without this the text would be lost.
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

bool TMainForm::FormClose() {
    // On Yes, ExitSave asks for the close again once this one has ended.
    askToSave(&TMainForm::ExitSave);
    return true;
}

void TMainForm::ExitSave() {
    if (m_documentName.isEmpty()) {
        if (!SaveDialog.Execute(this))
            return;
        SaveDocumentTo(SaveDialog.FileName);
        AssignDocumentName(SaveDialog.FileName);
    } else {
        SaveDocumentTo(m_documentName);
    }
    RichEdit1->setModified(false);
    // close() does nothing from inside the close event that is running now; ask
    // again once it has ended. The flag is clear, so that request goes through.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

} // namespace taviro
