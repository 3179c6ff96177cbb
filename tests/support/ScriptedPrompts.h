#pragma once

#include "FileDialog.h"
#include "Prompts.h"

#include <functional>
#include <optional>
#include <QList>
#include <QString>

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

    // Font dialog: a choice confirms it with that choice, std::nullopt cancels.
    QList<std::optional<FontChoice>> fontAnswers;
    QList<FontChoice> fontsOffered;

    // Print and print setup dialogs: true confirms. `onPrinter` may adjust the
    // printer as a user's choices in the dialog would.
    QList<bool> printAnswers;
    QList<bool> printSetupAnswers;
    std::function<void(QPrinter&)> onPrinter;
    int printDialogs = 0;
    int printSetupDialogs = 0;

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

    bool runFontDialog(QWidget*, FontChoice& choice) override {
        fontsOffered << choice;
        if (fontAnswers.isEmpty()) {
            unexpected = true;
            return false;
        }
        const std::optional<FontChoice> answer = fontAnswers.takeFirst();
        if (!answer)
            return false;
        choice = *answer;
        return true;
    }

    bool runPrintDialog(QWidget*, QPrinter& printer) override {
        ++printDialogs;
        return answerPrinter(printAnswers, printer);
    }

    bool runPrintSetupDialog(QWidget*, QPrinter& printer) override {
        ++printSetupDialogs;
        return answerPrinter(printSetupAnswers, printer);
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
    bool answerPrinter(QList<bool>& answers, QPrinter& printer) {
        if (answers.isEmpty()) {
            unexpected = true;
            return false;
        }
        const bool ok = answers.takeFirst();
        if (ok && onPrinter)
            onPrinter(printer);
        return ok;
    }

    int questions() const {
        int n = 0;
        for (const MessageRequest& b : boxes)
            n += b.icon == MsgIcon::Question;
        return n;
    }
};

} // namespace taviro::test
