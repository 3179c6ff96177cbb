// The character set a page declares in its head, found as a browser finds it
// before parsing the page.

#include "DocumentFile.h"

#include <algorithm>

namespace taviro::DocumentFile {

namespace {

// Reads a page's head the way a browser looks for its character set before
// parsing it: tags with their attributes, comments skipped, nothing beyond the
// bytes given.
class HeadScanner {
public:
    explicit HeadScanner(QByteArrayView head) : m_head(head) {}

    QByteArray charset() {
        while (m_pos < m_head.size()) {
            if (startsWith("<!--")) {
                const qsizetype close = m_head.indexOf("-->", m_pos + 4);
                if (close < 0)
                    return {};
                m_pos = close + 3;
            } else if (startsWith("<meta") && isSpaceOrSlash(m_pos + 5)) {
                m_pos += 5;
                QByteArray found = metaCharset();
                if (!found.isEmpty())
                    return found;
            } else if (startsWith("<") && m_pos + 1 < m_head.size() &&
                       (isLetter(m_head[m_pos + 1]) || m_head[m_pos + 1] == '/' ||
                        m_head[m_pos + 1] == '!' || m_head[m_pos + 1] == '?')) {
                // Any other tag: its attributes may hold a ">" in quotes.
                ++m_pos;
                while (m_pos < m_head.size() && !isSpace(m_head[m_pos]) && m_head[m_pos] != '>')
                    ++m_pos;
                QByteArray name;
                QByteArray value;
                while (attribute(name, value)) {
                }
            } else {
                ++m_pos;
            }
        }
        return {};
    }

private:
    static bool isSpace(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    }
    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    bool isSpaceOrSlash(qsizetype at) const {
        return at < m_head.size() && (isSpace(m_head[at]) || m_head[at] == '/');
    }
    bool startsWith(QByteArrayView what) const {
        return m_head.size() - m_pos >= what.size() &&
               m_head.sliced(m_pos, what.size()).compare(what, Qt::CaseInsensitive) == 0;
    }
    void skipSpaces() {
        while (m_pos < m_head.size() && isSpace(m_head[m_pos]))
            ++m_pos;
    }

    // The next attribute of the tag being read; false at its end.
    bool attribute(QByteArray& name, QByteArray& value) {
        name.clear();
        value.clear();
        while (m_pos < m_head.size() && (isSpace(m_head[m_pos]) || m_head[m_pos] == '/'))
            ++m_pos;
        if (m_pos >= m_head.size())
            return false;
        if (m_head[m_pos] == '>') {
            ++m_pos;
            return false;
        }
        while (m_pos < m_head.size() && !isSpace(m_head[m_pos]) && m_head[m_pos] != '=' &&
               m_head[m_pos] != '>' && (m_head[m_pos] != '/' || name.isEmpty()))
            name.append(m_head[m_pos++]);
        name = name.toLower();
        skipSpaces();
        if (m_pos >= m_head.size() || m_head[m_pos] != '=')
            return true;
        ++m_pos;
        skipSpaces();
        if (m_pos < m_head.size() && (m_head[m_pos] == '"' || m_head[m_pos] == '\'')) {
            const char quote = m_head[m_pos++];
            const qsizetype close = m_head.indexOf(quote, m_pos);
            if (close < 0) {
                m_pos = m_head.size();
                return false;
            }
            value = m_head.sliced(m_pos, close - m_pos).toByteArray();
            m_pos = close + 1;
        } else {
            while (m_pos < m_head.size() && !isSpace(m_head[m_pos]) && m_head[m_pos] != '>')
                value.append(m_head[m_pos++]);
        }
        return true;
    }

    // The charset of the <meta> being read: its charset attribute, or the
    // charset in the content of an http-equiv="Content-Type".
    QByteArray metaCharset() {
        QByteArray name;
        QByteArray value;
        QByteArray charset;
        bool contentType = false;
        bool fromContent = false;
        while (attribute(name, value)) {
            if (name == "http-equiv") {
                contentType = value.trimmed().toLower() == "content-type";
            } else if (name == "charset") {
                charset = value;
                fromContent = false;
            } else if (name == "content" && charset.isEmpty()) {
                charset = charsetInContent(value);
                fromContent = true;
            }
        }
        if (fromContent && !contentType)
            return {};
        return charset.trimmed().toLower();
    }

    // "text/html; charset=utf-8" -> "utf-8".
    static QByteArray charsetInContent(QByteArrayView content) {
        const qsizetype at = content.toByteArray().toLower().indexOf("charset");
        if (at < 0)
            return {};
        qsizetype p = at + 7;
        while (p < content.size() && isSpace(content[p]))
            ++p;
        if (p >= content.size() || content[p] != '=')
            return {};
        ++p;
        while (p < content.size() && isSpace(content[p]))
            ++p;
        if (p < content.size() && (content[p] == '"' || content[p] == '\'')) {
            const qsizetype close = content.indexOf(content[p], p + 1);
            return close < 0 ? QByteArray() : content.sliced(p + 1, close - p - 1).toByteArray();
        }
        qsizetype stop = p;
        while (stop < content.size() && !isSpace(content[stop]) && content[stop] != ';')
            ++stop;
        return content.sliced(p, stop - p).toByteArray();
    }

    QByteArrayView m_head;
    qsizetype m_pos = 0;
};

} // namespace

QByteArray declaredCharset(QByteArrayView head) {
    return HeadScanner(head.first(std::min<qsizetype>(head.size(), 1024))).charset();
}

} // namespace taviro::DocumentFile
