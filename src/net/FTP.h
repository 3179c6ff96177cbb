#pragma once

#include <memory>
#include <QDialog>

class QLabel;
class QProgressBar;

namespace Ui {
class TFTP;
}

namespace taviro {

class IDocumentHost;
class TNMFTP;

// The FTP dialog: connect to a server, change its directory, and upload the
// work file "upload.fil" under a name of the user's choice, with each step
// shown in the status bar. Each Upload command makes a fresh one.
class TFTP : public QDialog {
    Q_OBJECT
public:
    static inline const QString WorkFile = QStringLiteral("upload.fil");

    explicit TFTP(QWidget* parent = nullptr);
    ~TFTP() override;

    // The client of this dialog, with its design settings.
    TNMFTP* NMFTP1 = nullptr;

    // Commands.
    void Button1Click();  // Connect
    void Button2Click();  // Disconnect
    void Button5Click();  // Change Dir
    void Button10Click(); // Upload
    void Button9Click();  // Abort
    void Button3Click();  // Help
    void Button4Click();  // Close

    QString StatusText() const;

signals:
    // Every status text as it is set, even when it repeats.
    void statusTextSet(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setStatus(const QString& text);
    void refuseIfBusy() const;
    void showProgress(qint64 sent, qint64 total);
    void fitToFont();
    void connectCommands();

    std::unique_ptr<Ui::TFTP> ui;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    bool m_closeRequested = false;
    bool m_fitted = false;
};

// The Upload command: writes the document to "upload.fil" with the editor's own
// save and shows a fresh FTP dialog until the user closes it.
void UploadDocument(IDocumentHost& host);

} // namespace taviro
