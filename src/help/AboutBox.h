#pragma once

#include <memory>
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace Ui {
class TAboutBox;
}

namespace taviro {

// The About box: product name, version, copyright, and two links, one to the
// maker's web site and one that starts a mail to its support mailbox.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    QFrame* Panel1 = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* OKButton = nullptr;

    void CommentsClick();
    void Label1Click();
    void OKButtonClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void makeLink(QLabel* label, const QString& text, const QString& hint);

    std::unique_ptr<Ui::TAboutBox> ui;
};

// The current About box: the one made at start-up (never shown), then the one the
// latest About command made. Each is owned here until a newer one replaces it or
// ReleaseAboutBox runs, which the program does before its application object goes.
TAboutBox* AboutBox();
// Makes a fresh box in its design state and makes it the current one.
TAboutBox& CreateAboutBox();
void ReleaseAboutBox();

} // namespace taviro
