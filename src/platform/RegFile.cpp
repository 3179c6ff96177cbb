#include "RegFile.h"

#include "AnsiCodec.h"
#include "NumberConvert.h"

namespace taviro {

namespace {

const QString kRootName = QStringLiteral("HKEY_CURRENT_USER");

// Typed strings (hex(1), hex(2)) hold 8-bit text in the Windows-1252 code page.
QString decodeCp1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes)
        text.append(AnsiCodec::toUnicode(static_cast<unsigned char>(byte)));
    return text;
}

// Reads 1 to maxDigits hexadecimal digits making up the whole of text.
std::optional<quint32> parseHexNumber(QStringView text, int maxDigits) {
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    quint32 value = 0;
    for (QChar c : text) {
        const int d = hexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        value = (value << 4) | quint32(d);
    }
    return value;
}

// A quoted string starting at text[pos] == '"'. Besides REGEDIT4's \\ and \" it takes \n
// and \r, so that a text with line breaks still fits on one line of the file.
bool parseQuoted(QStringView text, qsizetype& pos, QString* out, QString* reason) {
    out->clear();
    ++pos;
    while (pos < text.size()) {
        const QChar c = text[pos++];
        if (c == u'"')
            return true;
        if (c != u'\\') {
            out->append(c);
            continue;
        }
        if (pos >= text.size())
            break;
        const QChar e = text[pos++];
        if (e == u'\\' || e == u'"')
            out->append(e);
        else if (e == u'n')
            out->append(u'\n');
        else if (e == u'r')
            out->append(u'\r');
        else {
            *reason = QStringLiteral("unknown escape \\%1").arg(e);
            return false;
        }
    }
    *reason = QStringLiteral("missing closing quote");
    return false;
}

QString quoted(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out.append(u'"');
    for (QChar c : text) {
        if (c == u'\\')
            out.append(u"\\\\");
        else if (c == u'"')
            out.append(u"\\\"");
        else if (c == u'\n')
            out.append(u"\\n");
        else if (c == u'\r')
            out.append(u"\\r");
        else
            out.append(c);
    }
    out.append(u'"');
    return out;
}

void skipSpaces(QStringView text, qsizetype& pos) {
    while (pos < text.size() && (text[pos] == u' ' || text[pos] == u'\t'))
        ++pos;
}

QString hexByte(char byte) {
    return QStringLiteral("%1").arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0'));
}

// Binary data the way regedit lays it out: comma-separated bytes, lines kept under 80
// columns by a trailing backslash and an indented continuation line.
void appendHexData(QString& out, QString line, const QByteArray& data) {
    int bytesOnLine = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        QString piece = hexByte(data[i]);
        if (i + 1 < data.size())
            piece.append(u',');
        if (bytesOnLine > 0 && line.size() + piece.size() > 77) {
            out.append(line).append(u"\\\n");
            line = QStringLiteral("  ");
            bytesOnLine = 0;
        }
        line.append(piece);
        ++bytesOnLine;
    }
    out.append(line).append(u'\n');
}

void appendValue(QString& out, const RegValue& value) {
    QString line = value.name.isEmpty() ? QStringLiteral("@") : quoted(value.name);
    line.append(u'=');
    switch (value.kind) {
    case RegValue::Kind::Text:
        out.append(line).append(quoted(value.text)).append(u'\n');
        return;
    case RegValue::Kind::DWord: {
        quint32 number = 0;
        for (qsizetype i = qMin<qsizetype>(value.data.size(), 4) - 1; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        out.append(line)
            .append(QStringLiteral("dword:%1").arg(number, 8, 16, QLatin1Char('0')))
            .append(u'\n');
        return;
    }
    case RegValue::Kind::Hex:
        line.append(value.hexType == 3 ? QStringLiteral("hex:")
                                       : QStringLiteral("hex(%1):").arg(value.hexType, 0, 16));
        appendHexData(out, line, value.data);
        return;
    }
}

void appendKey(QString& out, const RegKey& key, const QString& path, bool isRoot) {
    // The root's section is only needed for values kept directly in it.
    if (!isRoot || !key.values.empty()) {
        out.append(u'\n').append(u'[').append(path).append(u"]\n");
        for (const RegValue& value : key.values)
            appendValue(out, value);
    }
    for (const RegKey& subkey : key.subkeys)
        appendKey(out, subkey, path + u'\\' + subkey.name, false);
}

bool sameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString upToNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

bool RegValue::readsAsText() const {
    switch (kind) {
    case Kind::Text:
        return true;
    case Kind::DWord:
        return data.isEmpty();
    case Kind::Hex:
        return data.isEmpty() || hexType == 1 || hexType == 2;
    }
    return false;
}

QString RegValue::asText() const {
    if (kind == Kind::Text)
        return upToNul(text);
    const qsizetype nul = data.indexOf('\0');
    return decodeCp1252(nul < 0 ? data : data.left(nul));
}

const RegKey* RegKey::findSubkey(QStringView wanted) const {
    for (const RegKey& subkey : subkeys) {
        if (sameName(subkey.name, wanted))
            return &subkey;
    }
    return nullptr;
}

RegKey* RegKey::findSubkey(QStringView wanted) {
    return const_cast<RegKey*>(std::as_const(*this).findSubkey(wanted));
}

const RegValue* RegKey::findValue(QStringView wanted) const {
    for (const RegValue& value : values) {
        if (sameName(value.name, wanted))
            return &value;
    }
    return nullptr;
}

void RegKey::setValue(RegValue value) {
    for (RegValue& existing : values) {
        if (sameName(existing.name, value.name)) {
            value.name = existing.name;
            existing = std::move(value);
            return;
        }
    }
    values.push_back(std::move(value));
}

const RegKey* findKey(const RegKey& root, const QStringList& path) {
    const RegKey* key = &root;
    for (const QString& name : path) {
        key = key->findSubkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

RegKey* findKey(RegKey& root, const QStringList& path) {
    return const_cast<RegKey*>(findKey(std::as_const(root), path));
}

RegKey& ensureKey(RegKey& root, const QStringList& path, bool* created) {
    if (created)
        *created = false;
    RegKey* key = &root;
    for (const QString& name : path) {
        RegKey* subkey = key->findSubkey(name);
        if (!subkey) {
            key->subkeys.push_back(RegKey{name, {}, {}});
            subkey = &key->subkeys.back();
            if (created)
                *created = true;
        }
        key = subkey;
    }
    return *key;
}

bool isValidKeyName(QStringView name) {
    if (name.isEmpty())
        return false;
    for (QChar c : name) {
        if (c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

std::optional<RegKey> parseRegFile(QStringView text, RegSyntaxError* error) {
    RegKey root;
    RegKey* current = nullptr;
    bool sawSignature = false;
    const QList<QStringView> lines = text.split(u'\n');

    int lineNo = 0;
    auto fail = [&](QString reason) -> std::optional<RegKey> {
        if (error)
            *error = RegSyntaxError{lineNo, std::move(reason)};
        return std::nullopt;
    };

    for (qsizetype i = 0; i < lines.size(); ++i) {
        lineNo = int(i + 1);
        QStringView line = lines[i];
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line = line.mid(1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;

        if (!sawSignature) {
            if (line != u"REGEDIT4")
                return fail(QStringLiteral("the file does not start with REGEDIT4"));
            sawSignature = true;
            continue;
        }

        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return fail(QStringLiteral("missing ] after the key name"));
            const QStringView path = line.mid(1, line.size() - 2);
            if (path.startsWith(u'-'))
                return fail(QStringLiteral("deleting keys is not supported here"));
            const QList<QStringView> names = path.split(u'\\');
            if (!sameName(names.front(), kRootName))
                return fail(QStringLiteral("only keys under %1 belong here").arg(kRootName));
            QStringList keyPath;
            for (qsizetype n = 1; n < names.size(); ++n) {
                if (!isValidKeyName(names[n]))
                    return fail(QStringLiteral("invalid key name"));
                keyPath.append(names[n].toString());
            }
            current = &ensureKey(root, keyPath);
            continue;
        }

        if (!line.startsWith(u'"') && !line.startsWith(u'@'))
            return fail(QStringLiteral("expected a [key] or a value"));
        if (!current)
            return fail(QStringLiteral("value before the first [key]"));

        RegValue value;
        QString reason;
        qsizetype pos = 0;
        if (line.startsWith(u'@'))
            pos = 1;
        else if (!parseQuoted(line, pos, &value.name, &reason))
            return fail(reason);
        skipSpaces(line, pos);
        if (pos >= line.size() || line[pos] != u'=')
            return fail(QStringLiteral("missing = after the value name"));
        ++pos;
        skipSpaces(line, pos);
        const QStringView data = line.mid(pos);

        if (data.startsWith(u'"')) {
            qsizetype end = 0;
            if (!parseQuoted(data, end, &value.text, &reason))
                return fail(reason);
            if (!data.mid(end).trimmed().isEmpty())
                return fail(QStringLiteral("text after the closing quote"));
            value.kind = RegValue::Kind::Text;
        } else if (data == u"-") {
            return fail(QStringLiteral("deleting values is not supported here"));
        } else if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
            const auto number = parseHexNumber(data.mid(6).trimmed(), 8);
            if (!number)
                return fail(QStringLiteral("dword needs 1 to 8 hexadecimal digits"));
            value.kind = RegValue::Kind::DWord;
            for (int b = 0; b < 4; ++b)
                value.data.append(char((*number >> (8 * b)) & 0xFF));
        } else if (data.startsWith(u"hex", Qt::CaseInsensitive)) {
            QStringView rest = data.mid(3);
            value.kind = RegValue::Kind::Hex;
            if (rest.startsWith(u'(')) {
                const qsizetype close = rest.indexOf(u')');
                const auto type =
                    close < 0 ? std::nullopt : parseHexNumber(rest.mid(1, close - 1), 8);
                if (!type)
                    return fail(QStringLiteral("hex( needs a hexadecimal type number and )"));
                value.hexType = *type;
                rest = rest.mid(close + 1);
            }
            if (!rest.startsWith(u':'))
                return fail(QStringLiteral("missing : after hex"));
            rest = rest.mid(1).trimmed();
            // The bytes may go on over lines that end in a backslash.
            for (;;) {
                const bool continues = rest.endsWith(u'\\');
                if (continues)
                    rest = rest.chopped(1).trimmed();
                if (!rest.isEmpty()) {
                    const QList<QStringView> bytes = rest.split(u',');
                    for (qsizetype b = 0; b < bytes.size(); ++b) {
                        const QStringView token = bytes[b].trimmed();
                        if (token.isEmpty() && b > 0 && b == bytes.size() - 1)
                            break; // the comma before a line break
                        const auto byte = parseHexNumber(token, 2);
                        if (!byte)
                            return fail(QStringLiteral("invalid hex byte '%1'").arg(token));
                        value.data.append(char(*byte));
                    }
                }
                if (!continues)
                    break;
                if (++i >= lines.size())
                    return fail(QStringLiteral("hex data goes on past the end of the file"));
                lineNo = int(i + 1);
                rest = lines[i].trimmed();
            }
        } else {
            return fail(QStringLiteral("unknown kind of value"));
        }
        current->setValue(std::move(value));
    }
    return root;
}

QString formatRegFile(const RegKey& root) {
    QString out = QStringLiteral("REGEDIT4\n");
    appendKey(out, root, kRootName, true);
    return out;
}

} // namespace taviro
