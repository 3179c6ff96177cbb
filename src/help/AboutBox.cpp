#include "AboutBox.h"

#include "Application.h"
#include "Guard.h"
#include "Maker.h"
#include "Shell.h"
#include "ui_AboutBox.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>

namespace taviro {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
    ui->setupUi(this);
    Panel1 = ui->Panel1;
    ProductName = ui->ProductName;
    Version = ui->Version;
    Copyright = ui->Copyright;
    Comments = ui->Comments;
    Label1 = ui->Label1;
    OKButton = ui->OKButton;

    QFont title = ProductName->font();
    title.setBold(true);
    title.setPixelSize(19);
    ProductName->setFont(title);

    makeLink(Comments, kMakerWebSite, QStringLiteral("Visit ") + kMakerWebSite);
    makeLink(Label1, kSupportAddress, QStringLiteral("Send us email"));

    connect(OKButton, &QPushButton::clicked, this, guarded([this] { OKButtonClick(); }));

    // A fixed box: its design size, or larger where the desktop's font needs room.
    setFixedSize(sizeHint().expandedTo(QSize(290, 211)));
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::makeLink(QLabel* label, const QString& text, const QString& hint) {
    label->setText(text);
    label->setToolTip(hint);
    label->setStatusTip(hint);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->installEventFilter(this);
}

void TAboutBox::CommentsClick() {
    ShellOpen(kMakerWebSite);
}

void TAboutBox::Label1Click() {
    ShellOpen(kSupportMail);
}

void TAboutBox::OKButtonClick() {
    accept();
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    auto* label = qobject_cast<QLabel*>(watched);
    if (label && (label == Comments || label == Label1)) {
        switch (event->type()) {
        case QEvent::Enter:
            // The main window's status line follows the application's hint, so it
            // shows where a link leads while the pointer rests on it.
            Application().setHint(longHint(label->statusTip()));
            break;
        case QEvent::Leave:
            Application().setHint(QString());
            break;
        case QEvent::MouseButtonRelease: {
            // A click is a press and release of the left button on the link.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                label->rect().contains(mouse->position().toPoint())) {
                runGuarded([&] {
                    if (label == Comments)
                        CommentsClick();
                    else
                        Label1Click();
                });
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::showEvent(QShowEvent* event) {
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TAboutBox::hideEvent(QHideEvent* event) {
    // No Leave arrives when the box closes under the pointer.
    Application().setHint(QString());
    QDialog::hideEvent(event);
}

namespace {

QPointer<TAboutBox>& current() {
    static QPointer<TAboutBox> box;
    return box;
}

} // namespace

TAboutBox* AboutBox() {
    return current();
}

TAboutBox& CreateAboutBox() {
    // The box it replaces may still be on its way out of a modal loop: let that
    // loop finish before it goes.
    if (TAboutBox* previous = current())
        previous->deleteLater();
    current() = new TAboutBox;
    return *current();
}

void ReleaseAboutBox() {
    delete current().data();
}

} // namespace taviro
