#pragma once

#include <QString>

class QWidget;

namespace taviro {

// What the publishing commands may do to the document. The main window implements
// it; net/ knows nothing else of the editor.
class IDocumentHost {
public:
    virtual ~IDocumentHost();

    // The window that owns the questions and notices the commands show.
    virtual QWidget* hostWindow() = 0;

    // Asks whether to save a modified document; ends the calling command with the
    // silent abort on Cancel, and on Yes after saving.
    virtual void PromptSaveChanges() = 0;
    virtual void AssignDocumentName(const QString& name) = 0;
    virtual void RefreshCaption() = 0;

    // Writes the whole text to `path` exactly as Save does (its encoding, CR LF
    // between lines, nothing added). Raises "Cannot create file <path>".
    virtual void SaveDocumentTo(const QString& path) = 0;
    // Replaces the text with the file at `path` exactly as Open does (its decoding
    // and its way of filling the editor); the modified flag is clear afterwards.
    // Raises "Cannot open file <path>".
    virtual void LoadDocumentFrom(const QString& path) = 0;
    // Empties the editor as New does after its question: no text, no formatting,
    // modified flag clear. The name is left to AssignDocumentName.
    virtual void ClearDocument() = 0;
};

} // namespace taviro
