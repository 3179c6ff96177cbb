#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace taviro {

class TFileDialog;

enum class MsgButtons { Ok, YesNoCancel };
enum class MsgIcon { Question, Stop };
// Cancel is also the answer when the box is closed without a button.
enum class MsgResult { Ok, Yes, No, Cancel };

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
};

class QtPrompts : public Prompts {
public:
    MsgResult messageBox(const MessageRequest& request) override;
    bool runFileDialog(QWidget* owner, TFileDialog& dialog) override;
};

// The prompts in force. setPrompts(nullptr) goes back to the Qt ones; the caller
// keeps ownership of what it installs.
Prompts& prompts();
void setPrompts(Prompts* replacement);

} // namespace taviro
