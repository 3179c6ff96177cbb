#pragma once

#include <memory>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class Tget;
}

namespace taviro {

class IDocumentHost;
class TByteMemo;
class TNMHTTP;

// The Get File dialog: fetches the page at the typed address over HTTP into the
// editor. One instance lives for the whole run; closing only hides it, so the
// address typed last is there next time. Its client also serves the update check.
class Tget : public QDialog {
    Q_OBJECT
public:
    // The work file every fetch writes and the editor then loads, in the current
    // directory.
    static inline const QString WorkFile = QStringLiteral("getfile.fil");

    Tget(IDocumentHost& host, QWidget* parent = nullptr);
    ~Tget() override;

    QLineEdit* Edit1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* getFile = nullptr;
    QPushButton* Cancle = nullptr;
    TByteMemo* Memo1 = nullptr;
    TNMHTTP* NMHTTP1 = nullptr;

    void getFileClick();
    void CancleClick();
    void Exit1Click();
    void Copy1Click();
    void Paste1Click();

    // Raises the refusal of a second request while the client is busy.
    void refuseWhileBusy() const;

    // True while a fetch waits for the server.
    bool fetching() const { return m_fetching; }

public slots:
    // A close while a fetch runs waits for the fetch's end.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showProgress(qint64 received, qint64 total);
    void closeIfAsked();

    std::unique_ptr<Ui::Tget> ui;
    IDocumentHost& m_host;
    bool m_fetching = false;
    bool m_closeAsked = false;
};

} // namespace taviro
