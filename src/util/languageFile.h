#pragma once
// The language file: translations of the windows' texts, one per line as
// "English text=translation". Blank lines and lines starting with "#" or ";"
// are skipped. In both halves "\n", "\r" and "\t" stand for line feed,
// carriage return and tab, "\=" for an equals sign and "\\" for a backslash.
// A text holding "%s" (any text) or "%d" (a whole number) matches texts of
// that shape, and the translation's "%s"/"%d" take the matched parts in order.
// A text that includes "&" (a menu's shortcut letter) also matches without it.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <optional>

class TlanguageFile
{
public:
    // Replaces the contents; false (and nothing kept) when the bytes are not
    // UTF-8 or a line is neither blank, a comment nor a translation.
    bool parse(const QByteArray &bytes);
    // Reads the file; false when missing, unreadable or broken.
    bool load(const QString &path);
    // Why the last parse or load failed ("line 3: no \"=\"" and the like).
    QString error() const { return problem; }

    // The translation of `text`, none when the file has none for it.
    std::optional<QString> translate(const QString &text) const;
    qsizetype size() const { return exact.size() + patterns.size(); }
    bool isEmpty() const { return size() == 0; }

private:
    struct Tpattern
    {
        QRegularExpression re;
        QString translation;
    };
    void add(const QString &source, const QString &translation);

    QHash<QString, QString> exact;
    QHash<QString, QString> withoutShortcut; // sources with "&" taken out
    QList<Tpattern> patterns;
    QString problem;
};

// A menu caption without its shortcut marks: "&" dropped, "&&" kept as "&".
QString withoutShortcutMarks(const QString &text);
