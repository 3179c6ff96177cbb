#pragma once

#include <exception>
#include <QObject>
#include <QString>

namespace taviro {

// The application object as every window sees it: its title, the current hint
// text of the highlighted menu item, and the default error display. One
// instance lives for the whole process.
class TApplication : public QObject {
    Q_OBJECT
public:
    static TApplication& instance();

    QString Title;

    const QString& Hint() const { return m_hint; }
    // Announces the new text through OnHint only when it differs from the old.
    void setHint(const QString& hint);

    // Drops the silent abort; shows anything else with ShowException.
    void HandleException(std::exception_ptr error);
    // A message box titled with Title, stop icon, OK.
    void ShowException(const QString& message);

    // The message as the error box shows it: a full stop is added when the last
    // character's code is above that of the full stop itself.
    static QString displayText(const QString& message);

signals:
    void OnHint();

private:
    TApplication() = default;
    QString m_hint;
};

inline TApplication& Application() {
    return TApplication::instance();
}

// A menu hint may hold a short and a long form separated by "|"; the status
// line shows the part after the first "|".
QString longHint(const QString& hint);

} // namespace taviro
