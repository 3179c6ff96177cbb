#include "Application.h"

#include "Exceptions.h"
#include "Prompts.h"

namespace taviro {

TApplication& TApplication::instance() {
    static TApplication app;
    return app;
}

void TApplication::setHint(const QString& hint) {
    if (hint == m_hint)
        return;
    m_hint = hint;
    emit OnHint();
}

void TApplication::HandleException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        // Commands abandon themselves this way; the user chose it, nothing to say.
    } catch (const Exception& e) {
        ShowException(e.Message());
    } catch (const std::bad_alloc&) {
        ShowException(QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
}

void TApplication::ShowException(const QString& message) {
    MessageRequest box;
    box.text = displayText(message);
    box.caption = Title;
    box.buttons = MsgButtons::Ok;
    box.icon = MsgIcon::Stop;
    box.defaultButton = MsgResult::Ok;
    prompts().messageBox(box);
}

QString TApplication::displayText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

QString longHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}

} // namespace taviro
