#pragma once

#include "RichEdit.h"

#include <functional>
#include <QString>

class QWidget;

namespace taviro {

// Opening a page: the file is read, decoded and laid into a text document away
// from the screen, then the editor takes the finished document at once.
//
// A large page is read and laid on a worker thread while the calling command
// waits with the event loop turning: the window repaints and shows the progress,
// and input to it is held until the page is in (a close request is carried out
// afterwards). A small page is done on the spot; the result is the same
// document either way.
class PageLoad {
public:
    // Pages of at least this many bytes are loaded on a worker thread.
    static qint64 backgroundThreshold;

    // Opens `path` for reading; raises "Cannot open file <path>" when it cannot.
    // Nothing is changed yet.
    explicit PageLoad(const QString& path);
    ~PageLoad();

    // Reads, decodes and lays the page for `edit`, then shows it there. `window`
    // is the shown window whose close request waits for a large page; without
    // one (at start-up) every page is done on the spot. `progress` receives the
    // share done, in percent, while a large page loads. Raises the silent abort,
    // leaving the editor as it was, when the application quits meanwhile.
    void into(TRichEdit* edit, QWidget* window = nullptr,
              const std::function<void(int)>& progress = {});

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace taviro
