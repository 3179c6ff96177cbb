#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

class QPrinter;
class QWidget;

namespace taviro {

class TFileDialog;

enum class MsgButtons { Ok, YesNoCancel, YesNo };
enum class MsgIcon { Question, Stop, None };
// Cancel is also the answer when the box is closed without a button.
enum class MsgResult { Ok, Yes, No, Cancel };

// What the font dialog edits: the face, size and style, and the colour.
struct FontChoice {
    QFont font;
    QColor color;
};

struct MessageRequest {
    QWidget* owner = nullptr; // null: owned by the application
    QString text;
    QString caption;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::Stop;
    MsgResult defaultButton = MsgResult::Ok;
};

// Everything the program asks the user through a modal box or a common dialog.
// The program uses the Qt-backed implementation; tests swap in a scripted one.
class Prompts {
public:
    virtual ~Prompts() = default;
    virtual MsgResult messageBox(const MessageRequest& request) = 0;
    // Shows the dialog described by `dialog`; on confirm, stores the chosen path in
    // its FileName and the chosen filter entry in its FilterIndex and returns true.
    virtual bool runFileDialog(QWidget* owner, TFileDialog& dialog) = 0;
    // Shows the font dialog filled from `choice`; on confirm, stores the user's
    // choice there and returns true.
    virtual bool runFontDialog(QWidget* owner, FontChoice& choice) = 0;
    // The print dialog: printer, its properties, copies and collation. On confirm
    // the choices are in `printer`.
    virtual bool runPrintDialog(QWidget* owner, QPrinter& printer) = 0;
    // The printer and page setup dialog; on confirm the choices are in `printer`.
    virtual bool runPrintSetupDialog(QWidget* owner, QPrinter& printer) = 0;
};

class QtPrompts : public Prompts {
public:
    MsgResult messageBox(const MessageRequest& request) override;
    bool runFileDialog(QWidget* owner, TFileDialog& dialog) override;
    bool runFontDialog(QWidget* owner, FontChoice& choice) override;
    bool runPrintDialog(QWidget* owner, QPrinter& printer) override;
    bool runPrintSetupDialog(QWidget* owner, QPrinter& printer) override;
};

// The prompts in force. setPrompts(nullptr) goes back to the Qt ones; the caller
// keeps ownership of what it installs.
Prompts& prompts();
void setPrompts(Prompts* replacement);

} // namespace taviro
