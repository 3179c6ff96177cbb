#include "Gf.h"

#include "ByteMemo.h"
#include "DocumentHost.h"
#include "Exceptions.h"
#include "Guard.h"
#include "NMHTTP.h"
#include "ui_Gf.h"
#include "UpdateCheck.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QSaveFile>

namespace taviro {

Tget::Tget(IDocumentHost& host, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::Tget>()), m_host(host) {
    ui->setupUi(this);
    Edit1 = ui->Edit1;
    Label1 = ui->Label1;
    getFile = ui->getFile;
    Cancle = ui->Cancle;
    Memo1 = ui->Memo1;
    Memo1->hide();
    NMHTTP1 = new TNMHTTP(this);
    NMHTTP1->setObjectName(QStringLiteral("NMHTTP1"));
    Label1->setText(QStringLiteral("Example: ") + MakerServer + QStringLiteral("/index.php"));

    connect(getFile, &QPushButton::clicked, this, [this] {
        runGuarded([this] { getFileClick(); });
        // A close asked for during the fetch happens now, after any error box.
        closeIfAsked();
    });
    connect(Cancle, &QPushButton::clicked, this, guarded([this] { CancleClick(); }));
    connect(ui->Exit1, &QAction::triggered, this, guarded([this] { Exit1Click(); }));
    connect(ui->Copy1, &QAction::triggered, this, guarded([this] { Copy1Click(); }));
    connect(ui->Paste1, &QAction::triggered, this, guarded([this] { Paste1Click(); }));
    connect(NMHTTP1, &TNMHTTP::Progress, this, &Tget::showProgress);
}

Tget::~Tget() = default;

void Tget::getFileClick() {
    // A second press while a page is on its way must leave that fetch alone.
    refuseWhileBusy();
    m_fetching = true;
    struct Done {
        Tget* dialog;
        ~Done() { dialog->m_fetching = false; }
    } done{this};

    ui->ProgressLabel->clear();
    NMHTTP1->TimeOut = 5000;
    NMHTTP1->InputFileMode = false;
    NMHTTP1->OutputFileMode = false;
    NMHTTP1->ReportLevel = 2;
    NMHTTP1->Get(Edit1->text());

    // The page ends at its first NUL byte; every other byte stays as it came.
    const QByteArray& body = NMHTTP1->Body;
    const qsizetype nul = body.indexOf('\0');
    Memo1->Text = nul < 0 ? body : body.first(nul);

    QSaveFile file(WorkFile);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(Memo1->Text) != Memo1->Text.size() ||
        !file.commit())
        throw Exception(QStringLiteral("Cannot create file %1").arg(WorkFile));

    m_host.LoadDocumentFrom(WorkFile);

    if (!NMHTTP1->ReceivedCookie.isEmpty())
        ShowCookieNotice(NMHTTP1->ReceivedCookie, this);
    m_closeAsked = true;
}

void Tget::refuseWhileBusy() const {
    if (m_fetching || NMHTTP1->Busy())
        throw Exception(QStringLiteral("A request is already running; wait until it has ended"));
}

void Tget::CancleClick() {
    close();
}

void Tget::Exit1Click() {
    close();
}

void Tget::Copy1Click() {
    Edit1->copy();
}

void Tget::Paste1Click() {
    Edit1->paste();
}

void Tget::reject() {
    if (m_fetching) {
        m_closeAsked = true;
        return;
    }
    QDialog::reject();
}

void Tget::closeEvent(QCloseEvent* event) {
    if (m_fetching) {
        m_closeAsked = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Tget::keyPressEvent(QKeyEvent* event) {
    // Neither button answers Enter or Esc: the address field keeps them.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->ignore();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void Tget::closeIfAsked() {
    if (m_fetching || !m_closeAsked)
        return;
    m_closeAsked = false;
    ui->ProgressLabel->clear();
    done(QDialog::Rejected);
}

void Tget::showProgress(qint64 received, qint64 total) {
    const QLocale locale;
    ui->ProgressLabel->setText(
        total >= 0 ? tr("%1 of %2 bytes").arg(locale.toString(received), locale.toString(total))
                   : tr("%1 bytes").arg(locale.toString(received)));
}

} // namespace taviro
