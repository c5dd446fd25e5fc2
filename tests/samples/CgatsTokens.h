// A reader's view of a CGATS file, written apart from the writer: tokens
// split at whitespace, double-quoted strings (a doubled quote inside is a
// quote) and "#" comments to the end of the line.
#ifndef CGATSTOKENS_H
#define CGATSTOKENS_H

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

class CgatsTokens
{
public:
    struct Token {
        QString text;
        bool quoted = false;
    };

    static QVector<Token> tokenizeLine(const QString &line, bool *ok)
    {
        QVector<Token> tokens;
        *ok = true;
        int i = 0;
        const int n = int(line.size());
        while (i < n) {
            const QChar ch = line[i];
            if (ch.isSpace()) {
                ++i;
            } else if (ch == QLatin1Char('#')) {
                break;
            } else if (ch == QLatin1Char('"')) {
                Token t;
                t.quoted = true;
                ++i;
                bool closed = false;
                while (i < n) {
                    if (line[i] == QLatin1Char('"')) {
                        if (i + 1 < n && line[i + 1] == QLatin1Char('"')) {
                            t.text += QLatin1Char('"');
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    t.text += line[i++];
                }
                *ok = *ok && closed;
                tokens.append(t);
            } else {
                Token t;
                while (i < n && !line[i].isSpace())
                    t.text += line[i++];
                tokens.append(t);
            }
        }
        return tokens;
    }

    // The file's structure as a reader finds it.
    struct Parsed {
        bool ok = true;
        QString problem;
        QMap<QString, QStringList> keywords;   // keyword -> values, in order
        int declaredFields = -1;
        int declaredSets = -1;
        QStringList fields;
        QVector<QVector<Token>> data;
    };

    static Parsed parse(const QString &text)
    {
        Parsed p;
        enum { Header, Format, Data, Done } state = Header;
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            bool ok = true;
            const QVector<Token> t = tokenizeLine(line, &ok);
            if (!ok) {
                p.ok = false;
                p.problem = QStringLiteral("unclosed quote: ") + line;
            }
            if (t.isEmpty())
                continue;
            if (state == Format) {
                if (t[0].text == QLatin1String("END_DATA_FORMAT"))
                    state = Header;
                else
                    for (const Token &f : t)
                        p.fields << f.text;
                continue;
            }
            if (state == Data) {
                if (t[0].text == QLatin1String("END_DATA"))
                    state = Done;
                else
                    p.data.append(t);
                continue;
            }
            if (t[0].text == QLatin1String("BEGIN_DATA_FORMAT")) {
                state = Format;
            } else if (t[0].text == QLatin1String("BEGIN_DATA")) {
                state = Data;
            } else {
                QStringList values;
                for (int i = 1; i < t.size(); ++i)
                    values << t[i].text;
                p.keywords[t[0].text] << values.join(QLatin1Char(' '));
                if (t[0].text == QLatin1String("NUMBER_OF_FIELDS"))
                    p.declaredFields = t.value(1).text.toInt();
                if (t[0].text == QLatin1String("NUMBER_OF_SETS"))
                    p.declaredSets = t.value(1).text.toInt();
            }
        }
        if (state != Done) {
            p.ok = false;
            p.problem = QStringLiteral("no END_DATA");
        }
        if (p.declaredFields != p.fields.size()) {
            p.ok = false;
            p.problem = QStringLiteral("NUMBER_OF_FIELDS %1, %2 fields").arg(p.declaredFields).arg(p.fields.size());
        }
        if (p.declaredSets != p.data.size()) {
            p.ok = false;
            p.problem = QStringLiteral("NUMBER_OF_SETS %1, %2 lines").arg(p.declaredSets).arg(p.data.size());
        }
        for (const QVector<Token> &row : p.data)
            if (row.size() != p.fields.size()) {
                p.ok = false;
                p.problem = QStringLiteral("a data line of %1 values").arg(row.size());
            }
        return p;
    }
};

#endif
