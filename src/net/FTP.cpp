#include "FTP.h"
#include "ui_FTP.h"

#include "DocumentHost.h"
#include "Exceptions.h"
#include "Guard.h"
#include "NMFTP.h"
#include "NumberConvert.h"

#include <algorithm>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

namespace taviro {

namespace {

// A label in front of its field: where the desktop's font makes the text wider
// than the design allowed, the label grows to the left instead of running into
// the field.
void fitLabelBefore(QLabel* label, const QWidget* field) {
    const QSize hint = label->sizeHint();
    const int right = field->x() - 3;
    const int x = std::min(label->x(), right - hint.width());
    label->setGeometry(x, label->y(), hint.width(), hint.height());
}

// A caption above its field: kept on one line, as designed, by growing it to
// the right where the desktop's font is wider.
void fitCaption(QLabel* label) {
    const int oneLine = label->fontMetrics().horizontalAdvance(label->text()) + 2;
    const int width = std::max(label->wordWrap() ? label->width() : 0, oneLine);
    const int height =
        label->wordWrap() ? label->heightForWidth(width) : label->sizeHint().height();
    label->setGeometry(label->x(), label->y(), width, height);
}

// Room a button's text needs: the text and the style's padding (the style's
// own size hint also imposes a minimum width, which the design does not need).
int buttonTextWidth(const QPushButton* button) {
    return button->fontMetrics().horizontalAdvance(button->text()) + 12;
}

void fitButton(QPushButton* button) {
    button->resize(std::max(button->width(), buttonTextWidth(button)), button->height());
}

} // namespace

TFTP::TFTP(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFTP>()) {
    ui->setupUi(this);
    move(295, 112);
    setFixedSize(size());
    setModal(true);

    // The client's design settings: active mode, no proxy, no firewall log-in;
    // only Host, Port, UserID and Password change, at each Connect.
    NMFTP1 = new TNMFTP(this);
    NMFTP1->setObjectName(QStringLiteral("NMFTP1"));

    m_status = new QLabel(ui->StatusBar1);
    m_status->setObjectName(QStringLiteral("StatusText"));
    m_status->setAccessibleName(QStringLiteral("Status"));
    ui->StatusBar1->addWidget(m_status, 1);
    m_progress = new QProgressBar(ui->StatusBar1);
    m_progress->setObjectName(QStringLiteral("UploadProgress"));
    m_progress->setAccessibleName(QStringLiteral("Upload progress"));
    m_progress->setRange(0, 1000);
    m_progress->setMaximumWidth(140);
    m_progress->setMaximumHeight(ui->StatusBar1->height() - 4);
    m_progress->hide(); // until the first upload
    ui->StatusBar1->addPermanentWidget(m_progress);
    connect(NMFTP1, &TNMFTP::uploadProgress, this, &TFTP::showProgress);

    // Screen readers name a field by its label; the directory and remote name
    // fields lie outside the page that holds their captions, so say it outright.
    const std::pair<QLabel*, QWidget*> named[] = {
        {ui->Label1, ui->HostTxt}, {ui->Label2, ui->PortTxt}, {ui->Label3, ui->UserTxt},
        {ui->Label4, ui->PassTxt}, {ui->Label7, ui->DirTxt},  {ui->Label8, ui->Edit4},
    };
    for (const auto& [label, field] : named) {
        label->setBuddy(field);
        QString name = label->text();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        field->setAccessibleName(name);
    }

    QWidget* order[] = {ui->PageControl1, ui->HostTxt, ui->PortTxt, ui->Button1, ui->Button2,
                        ui->UserTxt,      ui->PassTxt, ui->Button3, ui->Button4, ui->DirTxt,
                        ui->Button5,      ui->Edit4,   ui->Button9, ui->Button10};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connectCommands();
}

TFTP::~TFTP() = default;

void TFTP::fitToFont() {
    // The page's controls are placed from the page's client area, which the
    // design puts at (4, 48) in the window: the window's own controls line up
    // with them on that footing (Upload and Abort in the row of Connect and
    // Disconnect). The style places the page a little differently: make up
    // the difference.
    const QPoint shift = QPoint(4, 48) - ui->TabSheet1->mapTo(this, QPoint(0, 0));
    for (QWidget* w : ui->TabSheet1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        w->move(w->pos() + shift);

    // Any port number shows whole, whatever the font.
    QLineEdit* port = ui->PortTxt;
    const int portWidth = port->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 12;
    port->resize(std::max(port->width(), portWidth), port->height());
    fitLabelBefore(ui->Label1, ui->HostTxt);
    fitLabelBefore(ui->Label2, ui->PortTxt);
    fitLabelBefore(ui->Label3, ui->UserTxt);
    fitLabelBefore(ui->Label4, ui->PassTxt);
    fitCaption(ui->Label7);
    fitCaption(ui->Label8);
    // Buttons grow to the right; a button that then runs into its neighbour in
    // the same row (the page's and the window's share rows) pushes it along.
    QList<QPushButton*> buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons)
        fitButton(button);
    const auto inWindow = [this](QWidget* w) {
        return QRect(w->mapTo(this, QPoint(0, 0)), w->size());
    };
    std::sort(buttons.begin(), buttons.end(),
              [&](QPushButton* a, QPushButton* b) { return inWindow(a).x() < inWindow(b).x(); });
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        for (qsizetype j = i + 1; j < buttons.size(); ++j) {
            const QRect left = inWindow(buttons[i]);
            const QRect right = inWindow(buttons[j]);
            if (left.intersects(right))
                buttons[j]->move(buttons[j]->x() + left.right() + 1 - right.x(), buttons[j]->y());
        }
    }
}

void TFTP::connectCommands() {
    const auto command = [this](QPushButton* button, void (TFTP::*handler)()) {
        connect(button, &QPushButton::clicked, this, guarded([this, handler] {
                    // A close asked for during the operation happens once it has
                    // returned, failed or not.
                    struct CloseWhenDone {
                        TFTP* dialog;
                        ~CloseWhenDone() {
                            if (dialog->m_closeRequested && !dialog->NMFTP1->Busy())
                                dialog->close();
                        }
                    } after{this};
                    (this->*handler)();
                }));
    };
    command(ui->Button1, &TFTP::Button1Click);
    command(ui->Button2, &TFTP::Button2Click);
    command(ui->Button5, &TFTP::Button5Click);
    command(ui->Button10, &TFTP::Button10Click);
    command(ui->Button9, &TFTP::Button9Click);
    command(ui->Button3, &TFTP::Button3Click);
    command(ui->Button4, &TFTP::Button4Click);
}

QString TFTP::StatusText() const {
    return m_status->text();
}

void TFTP::setStatus(const QString& text) {
    m_status->setText(text);
    emit statusTextSet(text);
}

void TFTP::refuseIfBusy() const {
    // The buttons stay enabled during a wait; a second operation is turned
    // away before it touches anything, and the running one goes on.
    if (NMFTP1->Busy())
        throw Exception(TNMFTP::BusyMessage);
}

void TFTP::showProgress(qint64 sent, qint64 total) {
    m_progress->setValue(total > 0 ? int(sent * 1000 / total) : 1000);
    m_progress->setAccessibleDescription(
        QStringLiteral("%1 of %2 bytes sent").arg(sent).arg(total));
    m_progress->setToolTip(m_progress->accessibleDescription());
}

void TFTP::Button1Click() {
    refuseIfBusy();
    NMFTP1->Host = ui->HostTxt->text();
    NMFTP1->Port = StrToInt(ui->PortTxt->text());
    NMFTP1->UserID = ui->UserTxt->text();
    NMFTP1->Password = ui->PassTxt->text();
    setStatus(QStringLiteral("Connecting..."));
    NMFTP1->Connect();
    setStatus(QStringLiteral("Connected"));
}

void TFTP::Button2Click() {
    refuseIfBusy();
    NMFTP1->Disconnect();
    setStatus(QStringLiteral("Disconnected"));
}

void TFTP::Button5Click() {
    refuseIfBusy();
    NMFTP1->ChangeDir(ui->DirTxt->text());
    setStatus(QStringLiteral("Dir Changed"));
}

void TFTP::Button10Click() {
    refuseIfBusy();
    setStatus(QStringLiteral("Uploading"));
    m_progress->setValue(0);
    m_progress->show();
    NMFTP1->Upload(WorkFile, ui->Edit4->text());
    setStatus(QStringLiteral("Done"));
}

void TFTP::Button9Click() {
    NMFTP1->Abort();
    setStatus(QStringLiteral("Aborted"));
}

void TFTP::Button3Click() {
    // The application has no help file: asking it for its contents shows
    // nothing.
}

void TFTP::Button4Click() {
    close();
}

void TFTP::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Fitted once the page has its place in the window, which the style decides
    // when the page control is first shown.
    if (!m_fitted) {
        m_fitted = true;
        fitToFont();
    }
}

void TFTP::closeEvent(QCloseEvent* event) {
    if (NMFTP1->Busy()) {
        // The running operation is somewhere below on the stack: the dialog
        // goes once it has returned.
        m_closeRequested = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFTP::keyPressEvent(QKeyEvent* event) {
    // No default and no cancel button: Enter and Esc do nothing here.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void UploadDocument(IDocumentHost& host) {
    auto dialog = std::make_unique<TFTP>(host.hostWindow());
    dialog->setObjectName(QStringLiteral("FTP"));
    host.SaveDocumentTo(TFTP::WorkFile);
    dialog->exec();
}

} // namespace taviro
