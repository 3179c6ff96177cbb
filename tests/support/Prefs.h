#pragma once

#include "KeyStore.h"
#include "MainForm.h"
#include "RsRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace taviro::test {

// The editor's stored font preferences, in the store the program reads (Qt's
// test location under the test's own home folder).
struct Prefs {
    static QString file() { return KeyStore::defaultPath(); }
    static void clear() { QFile::remove(file()); }
    static void write(const QString& value, const QString& text) {
        TRsRegistry reg;
        reg.BaseKey = TMainForm::PreferencesKey;
        reg.TargetKey = QStringLiteral("font");
        reg.TargetValue = value;
        reg.WriteString(text);
    }
    static QString read(const QString& value) {
        TRsRegistry reg;
        reg.BaseKey = TMainForm::PreferencesKey;
        reg.TargetKey = QStringLiteral("font");
        reg.TargetValue = value;
        return reg.ReadString();
    }
};

} // namespace taviro::test
