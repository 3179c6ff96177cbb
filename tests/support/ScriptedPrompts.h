#pragma once

#include "FileDialog.h"
#include "Prompts.h"

#include <QList>
#include <QString>
#include <optional>

namespace taviro::test {

// Answers the program's questions and dialogs from a script, and records what
// was asked. Installed for its lifetime.
class ScriptedPrompts : public Prompts {
public:
    struct DialogShown {
        TFileDialog::DialogKind kind;
        QString fileNameOffered;
        int filterIndexOffered;
        QString defaultExt;
        QString filter;
    };

    ScriptedPrompts() { setPrompts(this); }
    ~ScriptedPrompts() override { setPrompts(nullptr); }

    // Next answers, in order.
    QList<MsgResult> boxAnswers;
    // A path confirms the dialog with that file (and FilterIndex if given);
    // std::nullopt cancels it.
    struct DialogAnswer {
        std::optional<QString> path;
        int filterIndex = 0;
    };
    QList<DialogAnswer> dialogAnswers;

    QList<MessageRequest> boxes;
    QList<DialogShown> dialogs;
    // Set when the program asked something the script had no answer for.
    bool unexpected = false;

    MsgResult messageBox(const MessageRequest& request) override {
        boxes << request;
        if (request.buttons == MsgButtons::Ok)
            return MsgResult::Ok;
        if (boxAnswers.isEmpty()) {
            unexpected = true;
            return MsgResult::Cancel;
        }
        return boxAnswers.takeFirst();
    }

    bool runFileDialog(QWidget*, TFileDialog& dialog) override {
        dialogs << DialogShown{dialog.Kind, dialog.FileName, dialog.FilterIndex, dialog.DefaultExt,
                               dialog.Filter};
        if (dialogAnswers.isEmpty()) {
            unexpected = true;
            return false;
        }
        const DialogAnswer answer = dialogAnswers.takeFirst();
        if (!answer.path)
            return false;
        dialog.FileName = *answer.path;
        if (answer.filterIndex > 0)
            dialog.FilterIndex = answer.filterIndex;
        return true;
    }

    // The error boxes shown (stop icon), as their text.
    QStringList errors() const {
        QStringList out;
        for (const MessageRequest& b : boxes) {
            if (b.icon == MsgIcon::Stop)
                out << b.text;
        }
        return out;
    }
    int questions() const {
        int n = 0;
        for (const MessageRequest& b : boxes)
            n += b.icon == MsgIcon::Question;
        return n;
    }
};

} // namespace taviro::test
