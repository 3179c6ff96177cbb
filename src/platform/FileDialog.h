#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace taviro {

// An Open or Save dialog that remembers, between showings, the file name and the
// filter entry last chosen in it.
class TFileDialog {
public:
    enum DialogKind { Open, Save };

    explicit TFileDialog(DialogKind kind) : Kind(kind) {}

    DialogKind Kind;
    // Pairs of description and patterns, all separated by "|"; patterns within
    // one entry separated by ";".
    QString Filter;
    int FilterIndex = 1; // 1-based, as the entries are counted in Filter
    QString FileName;    // the chosen full path
    QString DefaultExt;  // without the dot; added to a name typed without one

    // Shows the dialog; on confirm, moves the process's current directory to the
    // chosen file's folder and returns true.
    bool Execute(QWidget* owner);

    // "HTML|*.htm;*.html|All Files|*.*" -> {"HTML (*.htm *.html)", "All Files (*)"}.
    static QStringList qtNameFilters(const QString& filter);
};

} // namespace taviro
